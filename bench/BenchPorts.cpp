#include "BenchPorts.h"
#include "RigPorts.h"
#include <sstream>
#include "win32/DevicePath.h"

std::vector<PortPair> BenchPairs() {
    wchar_t names[256];
    const DWORD length = GetEnvironmentVariableW(L"BENCH_PORTS", names, 256);
    std::wistringstream list(length > 0 && length < 256 ? names : L"COM5 COM6 COM7 COM8 COM9 COM10 COM11 COM12");
    std::vector<PortPair> pairs;
    PortPair pair;
    while (list >> pair.host >> pair.instrument) pairs.push_back(pair);
    return pairs;
}

Win32::CUniqueHandle OpenPort(const std::wstring& name, const COMMTIMEOUTS& timeouts) {
    Win32::CUniqueHandle port(CreateFileW(Win32::DevicePathFor(name.c_str()).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                         nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
    if (!port.IsValid()) return port;
    DCB line = RigLine();
    SetCommState(port.Get(), &line);
    SetupComm(port.Get(), 1048576, 1048576);
    COMMTIMEOUTS settings = timeouts;
    SetCommTimeouts(port.Get(), &settings);
    PurgeComm(port.Get(), PURGE_RXCLEAR | PURGE_TXCLEAR);
    return port;
}
