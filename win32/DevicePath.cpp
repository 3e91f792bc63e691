#include "win32/DevicePath.h"

Plugin::WideString DevicePathFor(const wchar_t* portName) {
    if (portName[0] == L'\\') return portName;
    return Plugin::WideString(L"\\\\.\\") + portName;
}
