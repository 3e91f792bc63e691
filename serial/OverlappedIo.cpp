#include "serial/OverlappedIo.h"

namespace Serial {

namespace {
constexpr IoResult kNothingMoved{IoState::Completed, 0, ERROR_SUCCESS};
}

COverlappedIo::COverlappedIo(const SerialApi& api) : m_api(api) {}

COverlappedIo::~COverlappedIo() { Cancel(); }

void COverlappedIo::Prepare(HANDLE device, DWORD count) {
    m_device = device;
    m_count = count;
    m_record = OVERLAPPED{};
    m_record.hEvent = m_event.Get();
    m_events = 0;
}

IoResult COverlappedIo::Started(BOOL result, DWORD bytes) {
    if (result) return {IoState::Completed, Moved(bytes), ERROR_SUCCESS};
    const DWORD error = GetLastError();
    if (error != ERROR_IO_PENDING) return {IoState::Failed, 0, error};
    m_running = true;
    return {IoState::Pending, 0, ERROR_SUCCESS};
}

IoResult COverlappedIo::StartWait(HANDLE device) {
    Prepare(device, 0);
    // ReadFile and WriteFile reset the record's event as they begin; for a
    // wait no document says so. Under Wine a reset is a round trip to its
    // server, which before every read cost a received block about a fifth
    // of its CPU time.
    m_event.Clear();
    return Started(m_api.waitCommEvent(device, &m_events, &m_record), 0);
}

IoResult COverlappedIo::StartRead(HANDLE device, void* buffer, DWORD count) {
    Prepare(device, count);
    DWORD bytes = 0;
    const BOOL result = m_api.readFile(device, buffer, count, &bytes, &m_record);
    return Started(result, bytes);
}

IoResult COverlappedIo::StartWrite(HANDLE device, const void* data, DWORD count) {
    Prepare(device, count);
    DWORD bytes = 0;
    const BOOL result = m_api.writeFile(device, data, count, &bytes, &m_record);
    return Started(result, bytes);
}

IoResult COverlappedIo::Finish(bool wait) {
    if (!m_running) return kNothingMoved;
    DWORD bytes = 0;
    if (m_api.getOverlappedResult(m_device, &m_record, &bytes, wait ? TRUE : FALSE)) {
        m_running = false;
        return {IoState::Completed, Moved(bytes), ERROR_SUCCESS};
    }
    const DWORD error = GetLastError();
    if (!wait && error == ERROR_IO_INCOMPLETE) return {IoState::Pending, 0, ERROR_SUCCESS};
    m_running = false;
    return {IoState::Failed, Moved(bytes), error};
}

// CancelIoEx reaches the operation from any thread: the last owner of the
// port may not be the thread that started it.
IoResult COverlappedIo::Cancel() {
    RequestCancel();
    return Finish(true);
}

// A refused cancel (the operation ended meanwhile: ERROR_NOT_FOUND) asks
// nothing more: the operation is reaped all the same.
void COverlappedIo::RequestCancel() {
    if (m_running) m_api.cancelIoEx(m_device, &m_record);
}

}  // namespace Serial
