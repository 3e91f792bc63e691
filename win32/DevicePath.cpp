#include "win32/DevicePath.h"

namespace Win32 {

Plugin::WideString DevicePathFor(const wchar_t* portName) {
    if (portName[0] == L'\\') return portName;
    return Plugin::WideString(L"\\\\.\\") + portName;
}

}  // namespace Win32
