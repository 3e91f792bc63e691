#include "LineEnd.h"
#include <algorithm>
#include "win32/DevicePath.h"

namespace {

HANDLE OpenDevice(const std::wstring& port, DWORD flags) {
    return CreateFileW(Win32::DevicePathFor(port.c_str()).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                       flags, nullptr);
}

}  // namespace

CLineEnd::CLineEnd(const std::wstring& port, const DCB& line, const COMMTIMEOUTS& timeouts, DWORD queueSize)
    : m_port(OpenDevice(port, FILE_FLAG_OVERLAPPED)) {
    if (!IsOpen()) return;
    DCB settings = line;
    SetCommState(m_port.Get(), &settings);
    if (queueSize != 0) SetupComm(m_port.Get(), queueSize, queueSize);
    SetTimeouts(timeouts);
    Purge();
}

void CLineEnd::SetTimeouts(const COMMTIMEOUTS& timeouts) {
    COMMTIMEOUTS settings = timeouts;
    SetCommTimeouts(m_port.Get(), &settings);
}

void CLineEnd::Purge() { PurgeComm(m_port.Get(), PURGE_RXCLEAR | PURGE_TXCLEAR); }

DWORD CLineEnd::Transfer(bool write, void* buffer, DWORD size, DWORD milliseconds) {
    const Win32::CEvent done(Win32::CEvent::Reset::Manual);
    OVERLAPPED record{};
    record.hEvent = done.Get();
    DWORD moved = 0;
    const BOOL started = write ? WriteFile(m_port.Get(), buffer, size, nullptr, &record)
                               : ReadFile(m_port.Get(), buffer, size, nullptr, &record);
    if (started || GetLastError() == ERROR_IO_PENDING) {
        const HANDLE ends[] = {done.Get(), m_interrupt.Get()};
        if (WaitForMultipleObjects(2, ends, FALSE, milliseconds) != WAIT_OBJECT_0) CancelIoEx(m_port.Get(), &record);
        GetOverlappedResult(m_port.Get(), &record, &moved, TRUE);
    }
    return moved;
}

bool CLineEnd::Send(const void* data, size_t size) {
    auto* bytes = static_cast<uint8_t*>(const_cast<void*>(data));
    for (size_t sent = 0; sent < size;) {
        const DWORD written = Transfer(true, bytes + sent, DWORD(std::min<size_t>(size - sent, 65536)), 5000);
        if (written == 0) return false;
        sent += written;
    }
    return true;
}

void DrainPort(const std::wstring& port) {
    Win32::CUniqueHandle device(OpenDevice(port, 0));
    if (!device.IsValid()) return;
    for (int quietRounds = 0, round = 0; quietRounds < 2 && round < 40; ++round) {
        Sleep(50);
        DWORD errors = 0;
        COMSTAT status{};
        ClearCommError(device.Get(), &errors, &status);
        quietRounds = status.cbInQue == 0 ? quietRounds + 1 : 0;
        PurgeComm(device.Get(), PURGE_RXCLEAR | PURGE_TXCLEAR);
    }
}
