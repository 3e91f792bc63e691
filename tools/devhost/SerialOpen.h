#pragma once
#include <windows.h>
#include <string>
#include "win32/UniqueHandle.h"

namespace DevHost {

// Opens the port as the plug-in does and reads its line record: the error of the open, or of
// GetCommState for a device that is no serial port.
DWORD OpenSerialPort(const std::wstring& path, Win32::CUniqueHandle& port, DCB& record);

}  // namespace DevHost
