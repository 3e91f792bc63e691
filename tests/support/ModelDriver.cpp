#include "ModelDriver.h"
#include <gtest/gtest.h>
#include <algorithm>
#include <utility>

namespace {
CModelDriver* g_current = nullptr;
HANDLE const kDevice = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(0xC0DE));
// A late-counting driver shows its count once its USB buffer is full.
constexpr size_t kUsbBuffer = 4096;
// Longer than any test holds an operation on purpose.
constexpr DWORD kLongestHold = 30000;
}  // namespace

// The table's entries: each counts the call and forwards to the model.
struct ModelCalls {
    // An operation the driver holds until the test unsticks it; a write
    // keeps the caller's bytes to take them only then.
    static CModelDriver::Pending Hung(DWORD size, const void* write) {
        CModelDriver::Pending pending;
        pending.size = size;
        pending.hungWrite = write;
        pending.hung = true;
        return pending;
    }

    using Hold = std::lock_guard<std::recursive_mutex>;
    // Marks a call under way for as long as it lasts.
    struct Scope {
        CModelDriver& m = *g_current;
        Scope() {
            ++m.m_calls;
            ++m.m_callsUnderWay;
        }
        ~Scope() { --m.m_callsUnderWay; }
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;
    };

    static HANDLE WINAPI CreateFileW(LPCWSTR path, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) {
        Scope scope;
        CModelDriver& m = scope.m;
        ++m.m_opens;
        {
            Hold hold(m.m_lock);
            m.m_openedPaths.push_back(path);
        }
        if (m.quirks.openMilliseconds) WaitForSingleObject(m.m_unstuck.Get(), m.quirks.openMilliseconds);
        Hold hold(m.m_lock);
        DWORD error = m.quirks.openError;
        if (m.m_unplugged) error = ERROR_FILE_NOT_FOUND;
        if (m.m_lastClose && GetTickCount64() - m.m_lastClose < m.quirks.busyAfterClose) error = ERROR_ACCESS_DENIED;
        if (error != ERROR_SUCCESS) {
            SetLastError(error);
            return INVALID_HANDLE_VALUE;
        }
        ++m.m_handles;
        m.m_recordRead = false;
        return kDevice;
    }
    // Some drivers keep a port whose handle was closed with I/O still
    // running, and refuse the next open (Cypress, libserialport #20).
    static BOOL WINAPI CloseHandle(HANDLE) {
        Scope scope;
        CModelDriver& m = scope.m;
        Hold hold(m.m_lock);
        for (const auto& entry : m.m_pending) EXPECT_TRUE(entry.second.completed) << "closed with I/O running";
        --m.m_handles;
        m.m_lastClose = GetTickCount64();
        return TRUE;
    }
    static BOOL WINAPI GetCommState(HANDLE, LPDCB line) {
        Scope scope;
        CModelDriver& m = scope.m;
        Hold hold(m.m_lock);
        if (m.m_unplugged) return m.Fail(m.DeviceFails() ? m.m_unplugError : ERROR_GEN_FAILURE);
        if (m.quirks.notSerial) return m.Fail(ERROR_INVALID_FUNCTION);
        *line = m.m_line;
        m.m_recordRead = true;
        return TRUE;
    }
    static BOOL WINAPI SetCommState(HANDLE, LPDCB line) {
        Scope scope;
        CModelDriver& m = scope.m;
        Hold hold(m.m_lock);
        const DriverQuirks& q = m.quirks;
        if (m.DeviceFails()) return m.Fail(m.m_unplugError);
        if (q.lineRefusal != ERROR_SUCCESS) return m.Fail(q.lineRefusal);
        const bool refused = (q.checksSpecialCharacters && line->XonChar == line->XoffChar) ||
                             (q.wantsItsOwnRecord && !m.m_recordRead) ||
                             (q.checksLimits && (line->XonLim != m.m_line.XonLim || line->XoffLim != m.m_line.XoffLim));
        if (refused) return m.Fail(ERROR_INVALID_PARAMETER);
        m.m_line = *line;
        return TRUE;
    }
    static BOOL WINAPI SetupComm(HANDLE, DWORD input, DWORD output) {
        Scope scope;
        CModelDriver& m = scope.m;
        Hold hold(m.m_lock);
        if (m.DeviceFails()) return m.Fail(m.m_unplugError);
        m.queueSizes[0] = input;
        m.queueSizes[1] = output;
        return m.quirks.queueRefusal == ERROR_SUCCESS ? TRUE : m.Fail(m.quirks.queueRefusal);
    }
    static BOOL WINAPI SetCommTimeouts(HANDLE, LPCOMMTIMEOUTS timeouts) {
        Scope scope;
        CModelDriver& m = scope.m;
        Hold hold(m.m_lock);
        if (m.DeviceFails()) return m.Fail(m.m_unplugError);
        m.timeouts = *timeouts;
        return TRUE;
    }
    static BOOL WINAPI GetCommMask(HANDLE, LPDWORD mask) {
        Scope scope;
        CModelDriver& m = scope.m;
        Hold hold(m.m_lock);
        if (m.DeviceFails()) return m.Fail(m.m_unplugError);
        *mask = m.m_mask;
        return TRUE;
    }
    // Every driver ends a pending wait when the mask changes.
    static BOOL WINAPI SetCommMask(HANDLE, DWORD mask) {
        Scope scope;
        CModelDriver& m = scope.m;
        Hold hold(m.m_lock);
        if (m.DeviceFails()) return m.Fail(m.m_unplugError);
        m.m_mask = mask;
        for (auto& [record, pending] : m.m_pending) {
            if (pending.events && !pending.completed) m.Complete(record, 0, ERROR_SUCCESS);
        }
        return TRUE;
    }
    static BOOL WINAPI WaitCommEvent(HANDLE, LPDWORD events, LPOVERLAPPED record) {
        Scope scope;
        CModelDriver& m = scope.m;
        if (m.waitCommEvent) return m.waitCommEvent(events, record);
        Hold hold(m.m_lock);
        const DriverQuirks& q = m.quirks;
        if (m.DeviceFails()) return m.Fail(m.m_unplugError);
        if (q.waitRefusal != ERROR_SUCCESS) return m.Fail(q.waitRefusal);
        if (m.m_unplugged) return m.Pend(record, events);
        switch (q.wait) {
        case WaitStyle::WithoutData: *events = q.waitEvents; return TRUE;
        case WaitStyle::Aborted: {
            const BOOL result = m.Pend(record, events);
            m.Complete(record, 0, ERROR_OPERATION_ABORTED);
            return result;
        }
        case WaitStyle::Never: return m.Pend(record, events);
        case WaitStyle::Windows: break;
        }
        if (m.m_characterSeen) {
            m.m_characterSeen = false;
            *events = EV_RXCHAR;
            return TRUE;
        }
        return m.Pend(record, events);
    }
    static BOOL WINAPI ClearCommError(HANDLE, LPDWORD errors, LPCOMSTAT status) {
        Scope scope;
        CModelDriver& m = scope.m;
        const DWORD scriptedIn = m.bytesQueued ? m.bytesQueued() : 0;
        const DWORD scriptedOut = m.bytesUnsent ? m.bytesUnsent() : 0;
        Hold hold(m.m_lock);
        if (m.DeviceFails()) return m.Fail(m.m_unplugError);
        if (m.quirks.statusRefusal != ERROR_SUCCESS) return m.Fail(m.quirks.statusRefusal);
        if (m.m_statusFailurePending != ERROR_SUCCESS) return m.Fail(std::exchange(m.m_statusFailurePending, 0));
        *errors = m.m_errorsPending;
        m.m_errorsPending = 0;
        if (status) {
            *status = COMSTAT{};
            const size_t queued = m.m_input.size();
            status->cbInQue = static_cast<DWORD>(m.quirks.countsLate && queued < kUsbBuffer ? 0 : queued);
            if (m.bytesQueued) status->cbInQue = scriptedIn;
            status->cbOutQue = scriptedOut;
        }
        return TRUE;
    }
    static BOOL WINAPI ReadFile(HANDLE, LPVOID buffer, DWORD size, LPDWORD read, LPOVERLAPPED record) {
        Scope scope;
        CModelDriver& m = scope.m;
        m.readThread = GetCurrentThreadId();
        if (m.readFile) return m.readFile(buffer, size, read, record);
        Hold hold(m.m_lock);
        if (m.DeviceFails()) return m.Fail(m.m_unplugError);
        if (m.quirks.readsHang) return m.Pend(record, Hung(size, nullptr));
        if (m.m_input.empty() && m.quirks.readsPend) return m.Pend(record, {nullptr, buffer, size});
        *read = m.TakeInput(buffer, size) + m.quirks.overReported;
        return TRUE;
    }
    static BOOL WINAPI WriteFile(HANDLE, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED record) {
        Scope scope;
        CModelDriver& m = scope.m;
        m.writeThread = GetCurrentThreadId();
        const BOOL result = m.writeFile ? m.writeFile(data, size, written, record) : Modelled(data, size, written, record);
        if (!result && GetLastError() == ERROR_IO_PENDING) {
            Hold hold(m.m_lock);
            m.m_pending[record].write = true;
            SetLastError(ERROR_IO_PENDING);
        }
        return result;
    }
    static BOOL Modelled(LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED record) {
        CModelDriver& m = *g_current;
        Hold hold(m.m_lock);
        const DriverQuirks& q = m.quirks;
        if (m.DeviceFails()) return m.Fail(m.m_unplugError);
        if (q.writesHang) return m.Pend(record, Hung(size, data));
        const DWORD moved = q.writeLimit ? std::min(size, q.writeLimit) : size;
        const auto* bytes = static_cast<const uint8_t*>(data);
        m.m_written.insert(m.m_written.end(), bytes, bytes + moved);
        if (q.writeError == ERROR_SUCCESS) {
            *written = moved + q.overReported;
            return TRUE;
        }
        const BOOL result = m.Pend(record, CModelDriver::Pending{});
        m.Complete(record, 0, q.writeError);
        return result;
    }
    static BOOL WINAPI GetOverlappedResult(HANDLE, LPOVERLAPPED record, LPDWORD bytes, BOOL wait) {
        Scope scope;
        CModelDriver& m = scope.m;
        for (;;) {
            {
                Hold hold(m.m_lock);
                ++m.overlappedResultCalls;
                auto found = m.m_pending.find(record);
                if (found == m.m_pending.end()) {
                    ADD_FAILURE() << "result asked of a record with no I/O started";
                    return m.Fail(ERROR_INVALID_PARAMETER);
                }
                if (found->second.completed) {
                    const CModelDriver::Pending done = found->second;
                    m.m_pending.erase(found);
                    *bytes = done.bytes;
                    SetLastError(done.error);
                    return done.error == ERROR_SUCCESS;
                }
                if (!wait) return m.Fail(ERROR_IO_INCOMPLETE);
                if (m.whenWaitedFor) m.whenWaitedFor(record);
                if (m.m_pending[record].completed) continue;
            }
            if (WaitForSingleObject(record->hEvent, kLongestHold) != WAIT_OBJECT_0) {
                ADD_FAILURE() << "waits for I/O that nothing completes";
                return m.Fail(ERROR_IO_INCOMPLETE);
            }
        }
    }
    static BOOL WINAPI CancelIoEx(HANDLE, LPOVERLAPPED target) {
        Scope scope;
        CModelDriver& m = scope.m;
        Hold hold(m.m_lock);
        m.cancelThread = GetCurrentThreadId();
        bool found = false;
        for (auto& [record, pending] : m.m_pending) {
            if (pending.completed || (target && record != target)) continue;
            if ((pending.events && m.quirks.ignoresWaitCancel) || pending.hung) continue;
            found = true;
            if (pending.write) m.writeCancelledAt = GetTickCount64();
            if (pending.write && m.quirks.ignoresWriteCancel) continue;
            m.EndMidway(record, pending);
        }
        return found ? TRUE : m.Fail(ERROR_NOT_FOUND);
    }
    static BOOL WINAPI PurgeComm(HANDLE, DWORD flags) {
        Scope scope;
        CModelDriver& m = scope.m;
        Hold hold(m.m_lock);
        if (m.DeviceFails()) return m.Fail(m.m_unplugError);
        ++m.outputPurges;
        m.purgedAt = GetTickCount64();
        if (!(flags & PURGE_TXABORT) || m.quirks.purgeIgnoresWrites) return TRUE;
        for (auto& [record, pending] : m.m_pending) {
            if (pending.write && !pending.completed && !pending.hung) m.EndMidway(record, pending);
        }
        return TRUE;
    }
};

CModelDriver::CModelDriver(const DriverQuirks& given) : quirks(given), m_mask(given.maskAtStart) {
    // What a driver starts with: slow, and buffer limits of its own.
    m_line.DCBlength = sizeof m_line;
    m_line.BaudRate = 2400;
    m_line.ByteSize = 8;
    m_line.fBinary = TRUE;
    m_line.XonLim = 2048;
    m_line.XoffLim = 512;
    m_line.XonChar = 0x11;
    m_line.XoffChar = 0x13;
    g_current = this;
}

CModelDriver::~CModelDriver() {
    EXPECT_TRUE(m_pending.empty()) << "I/O left pending on the device";
    g_current = nullptr;
}

const Serial::SerialApi& CModelDriver::Table() const {
    static const Serial::SerialApi table{
        &ModelCalls::CreateFileW,   &ModelCalls::CloseHandle,     &ModelCalls::SetCommState,
        &ModelCalls::SetupComm,     &ModelCalls::SetCommTimeouts, &ModelCalls::GetCommMask,
        &ModelCalls::SetCommMask,   &ModelCalls::WaitCommEvent,   &ModelCalls::ClearCommError,
        &ModelCalls::ReadFile,      &ModelCalls::WriteFile,       &ModelCalls::GetOverlappedResult,
        &ModelCalls::CancelIoEx,    &ModelCalls::GetCommState,    &ModelCalls::PurgeComm,
    };
    return table;
}

void CModelDriver::Arrive(const std::vector<uint8_t>& bytes) {
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    m_arrivals.emplace_back(m_arrived, GetTickCount64());
    m_arrived += bytes.size();
    m_input.insert(m_input.end(), bytes.begin(), bytes.end());
    m_errorsPending = quirks.lineErrors;
    m_statusFailurePending = quirks.statusFailure;
    for (auto& [record, pending] : m_pending) {
        if (pending.completed) continue;
        if (pending.buffer) Complete(record, TakeInput(pending.buffer, pending.size), ERROR_SUCCESS);
    }
    if (quirks.wait != WaitStyle::Windows || m_unplugged) return;
    for (auto& [record, pending] : m_pending) {
        if (pending.events && !pending.completed) return Complete(record, 0, ERROR_SUCCESS, EV_RXCHAR);
    }
    m_characterSeen = true;
}

void CModelDriver::PlugBackIn() {
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    m_unplugged = false;
    m_unplugError = ERROR_SUCCESS;
}

void CModelDriver::Unplug(DWORD error) {
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    m_unplugged = true;
    m_unplugError = error;
    if (error == ERROR_SUCCESS) return;
    for (auto& [record, pending] : m_pending) {
        if (!pending.completed) Complete(record, 0, error);
    }
}

DCB CModelDriver::Line() const {
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    return m_line;
}

std::vector<uint8_t> CModelDriver::Written() const {
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    return m_written;
}

std::vector<std::pair<size_t, ULONGLONG>> CModelDriver::Arrivals() const {
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    return m_arrivals;
}

DWORD CModelDriver::Mask() const {
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    return m_mask;
}

std::vector<std::wstring> CModelDriver::OpenedPaths() const {
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    return m_openedPaths;
}

int CModelDriver::OpenHandles() const {
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    return m_handles;
}

size_t CModelDriver::Unreaped() const {
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    return m_pending.size();
}

int CModelDriver::Calls() const { return m_calls; }

void CModelDriver::Unstick() {
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    m_unstuck.Set();
    for (auto& [record, pending] : m_pending) {
        if (pending.completed || !pending.hung) continue;
        if (pending.hungWrite) {
            const auto* bytes = static_cast<const uint8_t*>(pending.hungWrite);
            m_written.insert(m_written.end(), bytes, bytes + pending.size);
        }
        Complete(record, pending.hungWrite ? pending.size : 0, ERROR_SUCCESS);
    }
}

bool CModelDriver::Holding() const {
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    for (const auto& entry : m_pending) {
        if (entry.second.hung && !entry.second.completed) return true;
    }
    return false;
}

bool CModelDriver::WaitUntilLetGo(DWORD milliseconds) const {
    const ULONGLONG end = GetTickCount64() + milliseconds;
    for (;;) {
        {
            std::lock_guard<std::recursive_mutex> hold(m_lock);
            if (m_handles == 0 && m_callsUnderWay == 0) return true;
        }
        if (GetTickCount64() >= end) return false;
        Sleep(5);
    }
}

BOOL CModelDriver::Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

BOOL CModelDriver::Pend(OVERLAPPED* record, DWORD* events) {
    Pending pending;
    pending.events = events;
    return Pend(record, pending);
}

BOOL CModelDriver::Pend(OVERLAPPED* record, Pending pending) {
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    m_pending[record] = pending;
    ResetEvent(record->hEvent);
    SetLastError(ERROR_IO_PENDING);
    return FALSE;
}

void CModelDriver::Complete(OVERLAPPED* record, DWORD bytes, DWORD error, DWORD events) {
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    Pending& pending = m_pending[record];
    pending.completed = true;
    pending.bytes = bytes;
    pending.error = error;
    if (pending.events) *pending.events = events;
    record->InternalHigh = bytes;
    SetEvent(record->hEvent);
}

// A cancel or purge ends a read or write with what it had moved by then; a
// wait with no events.
void CModelDriver::EndMidway(OVERLAPPED* record, const Pending& pending) {
    const DWORD bytes = pending.events ? 0 : quirks.bytesBeforeCancel;
    Complete(record, bytes, bytes ? ERROR_SUCCESS : ERROR_OPERATION_ABORTED);
}

DWORD CModelDriver::TakeInput(void* buffer, DWORD size) {
    const DWORD count = static_cast<DWORD>(std::min<size_t>(size, m_input.size()));
    std::copy_n(m_input.begin(), count, static_cast<uint8_t*>(buffer));
    m_input.erase(m_input.begin(), m_input.begin() + count);
    return count;
}
