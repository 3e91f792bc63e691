#include "BareLoop.h"
#include <algorithm>
#include "BenchPorts.h"

namespace {
// The plug-in's: reads return at once with what is queued.
constexpr COMMTIMEOUTS kTimeouts{MAXDWORD, 0, 0, 500, 1};
}  // namespace

CBareLoop::CBareLoop(const std::wstring& port) : m_port(OpenPort(port, kTimeouts)) {
    SetCommMask(m_port.Get(), EV_RXCHAR);
    m_wait.hEvent = m_waitEvent.Get();
}

CBareLoop::~CBareLoop() {
    SetCommMask(m_port.Get(), 0);
    DWORD unused = 0;
    if (m_waiting) GetOverlappedResult(m_port.Get(), &m_wait, &unused, TRUE);
}

DWORD CBareLoop::Turn(BYTE* buffer, DWORD size) {
    HANDLE port = m_port.Get();
    COMSTAT status{};
    DWORD errors = 0;
    ClearCommError(port, &errors, &status);
    if (status.cbInQue == 0) {
        if (!m_waiting) {
            m_waiting = !WaitCommEvent(port, &m_events, &m_wait) && GetLastError() == ERROR_IO_PENDING;
            if (!m_waiting) return 0;
        }
        if (WaitForSingleObject(m_wait.hEvent, 100) == WAIT_OBJECT_0) {
            DWORD unused = 0;
            GetOverlappedResult(port, &m_wait, &unused, TRUE);
            m_waiting = false;
        }
        return 0;
    }
    OVERLAPPED read{};
    read.hEvent = m_ioEvent.Get();
    DWORD count = 0;
    if (!ReadFile(port, buffer, std::min<DWORD>(status.cbInQue, size), &count, &read) &&
        GetLastError() == ERROR_IO_PENDING) {
        GetOverlappedResult(port, &read, &count, TRUE);
    }
    return count;
}

DWORD CBareLoop::Write(const void* data, DWORD size) {
    OVERLAPPED write{};
    write.hEvent = m_ioEvent.Get();
    DWORD count = 0;
    if (!WriteFile(m_port.Get(), data, size, &count, &write) && GetLastError() == ERROR_IO_PENDING) {
        GetOverlappedResult(m_port.Get(), &write, &count, TRUE);
    }
    return count;
}
