#include "SerialPort.h"
#include "../win32/UniqueHandle.h"

CSerialPort::CSerialPort(const SerialApi& api) : m_api(api) {}

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
    m_port = m_api.createFile(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OVERLAPPED, nullptr);
    m_waitEvent = Win32::ManualResetEvent::Create();
    if (!m_waitEvent.IsValid()) Close();
    // Made on an invalid handle too, where it simply fails.
    return m_api.setCommState(m_port, const_cast<DCB*>(line)) != FALSE;
}

void CSerialPort::Close() {
    HANDLE port = m_port.exchange(INVALID_HANDLE_VALUE);
    if (Win32::UniqueHandle::IsValid(port)) m_api.closeHandle(port);
    m_waitEvent = Win32::ManualResetEvent();
}

bool CSerialPort::SetupQueues(DWORD inputSize, DWORD outputSize) {
    return m_api.setupComm(m_port, inputSize, outputSize) != FALSE;
}

bool CSerialPort::SetTimeouts(const COMMTIMEOUTS& timeouts) {
    return m_api.setCommTimeouts(m_port, const_cast<COMMTIMEOUTS*>(&timeouts)) != FALSE;
}

bool CSerialPort::WaitForReceive(DWORD milliseconds, HANDLE wake) {
    HANDLE port = m_port;
    DWORD previousMask = 0;
    m_api.getCommMask(port, &previousMask);
    m_api.setCommMask(port, EV_RXCHAR);

    // The driver writes the mask and the record when the wait completes, so
    // both stay here until it has.
    DWORD events = 0;
    OVERLAPPED record{};
    record.hEvent = m_waitEvent.Get();
    m_waitEvent.Reset();
    bool arrived = true;
    bool pending = false;
    if (!m_api.waitCommEvent(port, &events, &record)) {
        pending = GetLastError() == ERROR_IO_PENDING;
        // A failed wait also takes its time, so a broken device cannot make
        // the caller spin.
        const HANDLE events[] = {m_waitEvent.Get(), wake};
        arrived = WaitForMultipleObjects(wake ? 2 : 1, events, FALSE, milliseconds) == WAIT_OBJECT_0;
    }

    // Changing the mask ends a wait still pending; the cancel covers a
    // driver that ignores the change.
    m_api.setCommMask(port, previousMask);
    if (pending) CancelPending(&record);
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
    return m_api.clearCommError(m_port, &errors, status) != FALSE;
}

IoStart CSerialPort::StartOf(BOOL result) {
    if (result) return IoStart::Completed;
    return GetLastError() == ERROR_IO_PENDING ? IoStart::Pending : IoStart::Failed;
}

IoStart CSerialPort::Read(void* buffer, DWORD count, OVERLAPPED* record, DWORD* bytes) {
    DWORD done = 0;
    IoStart start = StartOf(m_api.readFile(m_port, buffer, count, &done, record));
    if (start == IoStart::Completed && bytes) *bytes = done;
    return start;
}

IoStart CSerialPort::Write(const void* buffer, DWORD count, OVERLAPPED* record, DWORD* bytes) {
    DWORD done = 0;
    IoStart start = StartOf(m_api.writeFile(m_port, buffer, count, &done, record));
    if (start == IoStart::Completed && bytes) *bytes = done;
    return start;
}

bool CSerialPort::GetIoResult(OVERLAPPED* record, DWORD* bytes, bool wait) {
    return m_api.getOverlappedResult(m_port, record, bytes, wait ? TRUE : FALSE) != FALSE;
}

DWORD CSerialPort::CancelPending(OVERLAPPED* record) {
    m_api.cancelIo(m_port);
    DWORD bytes = 0;
    GetIoResult(record, &bytes, true);
    return bytes;
}
