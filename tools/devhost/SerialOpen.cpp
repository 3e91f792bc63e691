#include "SerialOpen.h"

namespace DevHost {

DWORD OpenSerialPort(const std::wstring& path, Win32::CUniqueHandle& port, DCB& record) {
    port.Reset(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED,
                           nullptr));
    record.DCBlength = sizeof record;
    return port.IsValid() && GetCommState(port.Get(), &record) ? ERROR_SUCCESS : GetLastError();
}

}  // namespace DevHost
