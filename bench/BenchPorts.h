#pragma once
#include <windows.h>
#include <string>
#include <vector>
#include "win32/UniqueHandle.h"

// The null-modem pairs the bench runs on: the host's end and the
// instrument's. The rig (./run.sh bench) joins COM5-COM6, COM7-COM8,
// COM9-COM10 and COM11-COM12; on Windows name real pairs in BENCH_PORTS,
// taken two by two ("COM3 COM4 COM7 COM8").
struct PortPair {
    std::wstring host;
    std::wstring instrument;
};
std::vector<PortPair> BenchPairs();


// The end opened for overlapped I/O at the rig's line (RigLine); invalid when the
// port cannot be opened.
Win32::CUniqueHandle OpenPort(const std::wstring& name, const COMMTIMEOUTS& timeouts);
