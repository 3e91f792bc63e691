#include "serial/SerialPort.h"
#include <algorithm>
#include "serial/LineRecord.h"

namespace Serial {

CSerialPort::CSerialPort(const SerialApi& api) : m_api(api), m_listen(api), m_read(api), m_write(api) {}

CSerialPort::~CSerialPort() { Close(); }

IoResult CSerialPort::Open(const wchar_t* path, const DCB& line) {
    Close();
    m_handle = Win32::CUniqueHandle(
        m_api.createFile(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr),
        m_api.closeHandle);
    if (!m_handle.IsValid()) return IoResult::Of(FALSE);
    DCB driversOwn{};
    driversOwn.DCBlength = sizeof driversOwn;
    if (!m_api.getCommState(Handle(), &driversOwn)) {
        const IoResult notASerialPort = IoResult::Of(FALSE);
        m_handle.Reset();
        return notASerialPort;
    }
    m_open = true;
    DCB accepted = LineRecord::ForDriver(driversOwn, line);
    if (m_api.setCommState(Handle(), &accepted)) return {IoState::Completed, 0, ERROR_SUCCESS};
    // A driver that refused without saying why still refused.
    const DWORD refusal = GetLastError();
    return {IoState::Completed, 0, refusal != ERROR_SUCCESS ? refusal : ERROR_GEN_FAILURE};
}

void CSerialPort::Close() {
    if (!IsOpen()) return;
    // What these answer changes nothing: the handle goes next, which ends a
    // wait whose mask the driver kept, and each operation is reaped first.
    EndListening();
    m_read.Cancel();
    m_write.Cancel();
    m_open = false;
    m_handle.Reset();
}

IoResult CSerialPort::SetupQueues(DWORD inputSize, DWORD outputSize) {
    return IoResult::Of(m_api.setupComm(Handle(), inputSize, outputSize));
}

IoResult CSerialPort::SetTimeouts(const COMMTIMEOUTS& timeouts) {
    return IoResult::Of(m_api.setCommTimeouts(Handle(), const_cast<COMMTIMEOUTS*>(&timeouts)));
}

IoResult CSerialPort::WaitForReceive(DWORD milliseconds, HANDLE interrupt) {
    if (!m_listening) {
        // A mask the driver does not tell is none to put back.
        if (!m_api.getCommMask(Handle(), &m_maskBefore)) m_maskBefore = 0;
        const IoResult listening = IoResult::Of(m_api.setCommMask(Handle(), EV_RXCHAR));
        if (!listening.Completed()) return listening;
        m_listening = true;
    }
    IoResult wait = m_listen.Running() ? m_listen.Finish(false) : m_listen.StartWait(Handle());
    if (wait.state == IoState::Pending) {
        const HANDLE events[] = {m_listen.Event(), interrupt};
        if (WaitForMultipleObjects(interrupt ? 2 : 1, events, FALSE, milliseconds) != WAIT_OBJECT_0) return wait;
        wait = m_listen.Finish(true);
    }
    return wait;
}

// An empty mask ends a running wait on every driver, also on one that
// ignores CancelIoEx for waits (Wine's does), so the cancel only reaps it.
IoResult CSerialPort::EndListening() {
    if (!m_listening) return IoResult::Of(TRUE);
    const IoResult ended = IoResult::Of(m_api.setCommMask(Handle(), 0));
    const IoResult restored = IoResult::Of(m_api.setCommMask(Handle(), m_maskBefore));
    m_listen.Cancel();
    m_listening = false;
    return ended.Completed() ? restored : ended;
}

IoResult CSerialPort::ClearErrors(COMSTAT* status, DWORD* lineErrors) {
    *lineErrors = 0;
    return IoResult::Of(m_api.clearCommError(Handle(), lineErrors, status));
}

// The read time-outs make a read return at once with what is queued, but a
// driver may still report it pending (Wine does on an empty queue). Such a
// read is ended here, so the buffer is free again and the count is what
// really arrived.
IoResult CSerialPort::Read(DWORD count) {
    IoResult read = m_read.StartRead(Handle(), m_received, std::min(count, kReceiveBufferSize));
    if (read.state == IoState::Pending) {
        read = m_read.Cancel();
        // The abort is ours, not the device's.
        if (read.error == ERROR_OPERATION_ABORTED) read = {IoState::Completed, read.bytes, ERROR_SUCCESS};
    }
    read.data = m_received;
    return read;
}

IoResult CSerialPort::QueryLineState() const {
    DCB line{};
    line.DCBlength = sizeof line;
    return IoResult::Of(m_api.getCommState(Handle(), &line));
}

IoResult CSerialPort::PurgeOutput() { return IoResult::Of(m_api.purgeComm(Handle(), PURGE_TXABORT)); }

IoResult CSerialPort::StartWrite(DWORD count) {
    return m_write.StartWrite(Handle(), m_sending, std::min(count, kWriteBufferSize));
}

}  // namespace Serial
