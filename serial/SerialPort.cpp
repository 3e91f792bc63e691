#include "serial/SerialPort.h"
#include <algorithm>
#include "serial/LineRecord.h"
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

bool CSerialPort::Open(const wchar_t* path, const DCB& line, DWORD* error) {
    Close();
    m_handle = m_api.createFile(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OVERLAPPED, nullptr);
    DWORD failure = IsOpen() ? ERROR_SUCCESS : GetLastError();
    // Without their events no operation could be waited for.
    if (!m_listen.Ready() || !m_read.Ready() || !m_write.Ready()) {
        Close();
        failure = ERROR_NOT_ENOUGH_MEMORY;
    }
    // Where the driver gives no record of its own, the settings' record is
    // all there is. Made on an invalid handle too, where both simply fail.
    DCB driversOwn{};
    driversOwn.DCBlength = sizeof driversOwn;
    const bool answered = m_api.getCommState(m_handle, &driversOwn) != FALSE;
    DCB accepted = LineRecord::ForDriver(answered ? &driversOwn : nullptr, line);
    const bool applied = m_api.setCommState(m_handle, &accepted) != FALSE;
    if (!applied && IsOpen()) failure = GetLastError();
    if (error) *error = failure;
    return applied;
}

void CSerialPort::Close() {
    if (!IsOpen()) return;
    EndListening();
    m_read.Cancel();
    m_write.Cancel();
    m_api.closeHandle(m_handle.exchange(INVALID_HANDLE_VALUE));
}

DWORD CSerialPort::SetupQueues(DWORD inputSize, DWORD outputSize) {
    return m_api.setupComm(m_handle, inputSize, outputSize) ? ERROR_SUCCESS : GetLastError();
}

DWORD CSerialPort::SetTimeouts(const COMMTIMEOUTS& timeouts) {
    return m_api.setCommTimeouts(m_handle, const_cast<COMMTIMEOUTS*>(&timeouts)) ? ERROR_SUCCESS : GetLastError();
}

ListenResult CSerialPort::WaitForReceive(DWORD milliseconds, HANDLE interrupt) {
    if (!m_listening) {
        m_api.getCommMask(m_handle, &m_maskBefore);
        m_api.setCommMask(m_handle, EV_RXCHAR);
        m_listening = true;
    }
    IoResult wait = m_listen.Running() ? m_listen.Finish(false) : m_listen.StartWait(m_handle);
    if (wait.state == IoState::Pending) {
        const HANDLE events[] = {m_listen.Event(), interrupt};
        if (WaitForMultipleObjects(interrupt ? 2 : 1, events, FALSE, milliseconds) != WAIT_OBJECT_0) {
            return {false, ERROR_SUCCESS};
        }
        wait = m_listen.Finish(true);
    }
    if (wait.state == IoState::Failed) return {false, wait.error};
    return {true, ERROR_SUCCESS};
}

// An empty mask ends a running wait on every driver, also on one that
// ignores CancelIoEx for waits (Wine's does), so the cancel only reaps it.
void CSerialPort::EndListening() {
    if (!m_listening) return;
    m_api.setCommMask(m_handle, 0);
    m_api.setCommMask(m_handle, m_maskBefore);
    m_listen.Cancel();
    m_listening = false;
}

DWORD CSerialPort::BytesWaiting() {
    COMSTAT status{};
    return ClearErrors(&status) ? status.cbInQue : 0;
}

bool CSerialPort::ClearErrors(COMSTAT* status, DWORD* error) {
    DWORD lineErrors = 0;
    if (m_api.clearCommError(m_handle, &lineErrors, status)) return true;
    if (error) *error = GetLastError();
    return false;
}

// The read time-outs make a read return at once with what is queued, but a
// driver may still report it pending (Wine does on an empty queue). Such a
// read is ended here, so the buffer is free again and the count is what
// really arrived.
IoResult CSerialPort::Read(DWORD count) {
    const IoResult read = m_read.StartRead(m_handle, m_received, std::min(count, kReceiveBufferSize));
    if (read.state != IoState::Pending) return read;
    const IoResult cancelled = m_read.Cancel();
    // The abort is ours, not the device's.
    if (cancelled.error == ERROR_OPERATION_ABORTED) return {IoState::Completed, cancelled.bytes, ERROR_SUCCESS};
    return cancelled;
}

bool CSerialPort::AnswersLineState(DWORD* error) const {
    DCB line{};
    line.DCBlength = sizeof line;
    if (m_api.getCommState(m_handle, &line)) return true;
    *error = GetLastError();
    return false;
}

IoResult CSerialPort::StartWrite(const void* data, DWORD count) { return m_write.StartWrite(m_handle, data, count); }
