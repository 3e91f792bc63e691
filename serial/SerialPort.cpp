#include "serial/SerialPort.h"
#include <algorithm>
#include "win32/UniqueHandle.h"

CSerialPort::CSerialPort(const SerialApi& api) : m_api(api), m_listen(api), m_read(api), m_write(api) {}

CSerialPort::~CSerialPort() { Close(); }

void CSerialPort::FreeOverlapped(DWORD, DWORD, OVERLAPPED* record) { delete record; }

bool CSerialPort::Probe(const wchar_t* path) const {
    HANDLE probe = m_api.createFile(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (!Win32::UniqueHandle::IsValid(probe)) return false;
    DCB line{};
    line.DCBlength = sizeof line;
    bool serialDevice = m_api.getCommState(probe, &line) != FALSE;
    m_api.closeHandle(probe);
    return serialDevice;
}

bool CSerialPort::Open(const wchar_t* path, const DCB* line) {
    Close();
    m_handle = m_api.createFile(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OVERLAPPED, nullptr);
    // Without their events no operation could be waited for.
    if (!m_listen.Ready() || !m_read.Ready() || !m_write.Ready()) Close();
    // Made on an invalid handle too, where it simply fails.
    return m_api.setCommState(m_handle, const_cast<DCB*>(line)) != FALSE;
}

void CSerialPort::Close() {
    if (!IsOpen()) return;
    m_listen.Cancel();
    m_read.Cancel();
    m_write.Cancel();
    m_api.closeHandle(m_handle.exchange(INVALID_HANDLE_VALUE));
}

bool CSerialPort::SetupQueues(DWORD inputSize, DWORD outputSize) {
    return m_api.setupComm(m_handle, inputSize, outputSize) != FALSE;
}

bool CSerialPort::SetTimeouts(const COMMTIMEOUTS& timeouts) {
    return m_api.setCommTimeouts(m_handle, const_cast<COMMTIMEOUTS*>(&timeouts)) != FALSE;
}

bool CSerialPort::WaitForReceive(DWORD milliseconds, HANDLE interrupt) {
    HANDLE device = m_handle;
    DWORD previousMask = 0;
    m_api.getCommMask(device, &previousMask);
    m_api.setCommMask(device, EV_RXCHAR);

    bool arrived = m_listen.StartWait(device).state == IoState::Completed;
    if (!arrived) {
        // A failed wait also takes its time, so a broken device cannot make
        // the caller spin.
        const HANDLE events[] = {m_listen.Event(), interrupt};
        arrived = WaitForMultipleObjects(interrupt ? 2 : 1, events, FALSE, milliseconds) == WAIT_OBJECT_0;
    }

    // Changing the mask ends a wait still running; the cancel covers a
    // driver that ignores the change.
    m_api.setCommMask(device, previousMask);
    m_listen.Cancel();
    return arrived;
}

DWORD CSerialPort::BytesWaiting() {
    COMSTAT status{};
    return ClearErrors(&status) ? status.cbInQue : 0;
}

DWORD CSerialPort::BytesUnsent() {
    COMSTAT status{};
    return ClearErrors(&status) ? status.cbOutQue : 0;
}

bool CSerialPort::ClearErrors(COMSTAT* status) {
    DWORD errors = 0;
    return m_api.clearCommError(m_handle, &errors, status) != FALSE;
}

// The read time-outs make a read return at once with what is queued, but a
// driver may still report it pending (Wine does on an empty queue). Such a
// read is ended here, so the buffer is free again and the count is what
// really arrived.
IoResult CSerialPort::Read(DWORD count) {
    IoResult read = m_read.StartRead(m_handle, m_received, std::min(count, kReceiveBufferSize));
    return read.state == IoState::Pending ? m_read.Cancel() : read;
}

IoResult CSerialPort::StartWrite(const void* data, DWORD count) { return m_write.StartWrite(m_handle, data, count); }
