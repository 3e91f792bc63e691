#include "ScriptedSerialApi.h"
#include <gtest/gtest.h>

namespace {
ScriptedSerialApi* g_current = nullptr;
HANDLE const kDevice = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(0x5E1A));
}  // namespace

// The table's entries: each forwards to the current script.
struct ScriptedCalls {
    static ScriptedSerialApi& Api() { return ScriptedSerialApi::Current(); }
    using Hold = std::lock_guard<std::recursive_mutex>;

    static HANDLE WINAPI CreateFileW(LPCWSTR path, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) {
        Hold hold(Api().m_lock);
        Api().m_openedPaths.push_back(path);
        if (!Api().deviceExists) {
            SetLastError(ERROR_FILE_NOT_FOUND);
            return INVALID_HANDLE_VALUE;
        }
        ++Api().openHandles;
        return kDevice;
    }
    static BOOL WINAPI CloseHandle(HANDLE handle) {
        Hold hold(Api().m_lock);
        EXPECT_EQ(handle, kDevice);
        --Api().openHandles;
        return TRUE;
    }
    static BOOL WINAPI SetCommState(HANDLE handle, LPDCB line) {
        if (handle != kDevice) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        Api().line = *line;
        return TRUE;
    }
    static BOOL WINAPI GetCommState(HANDLE handle, LPDCB line) {
        if (handle != kDevice || !Api().serialDevice || Api().deviceGone) {
            SetLastError(Api().deviceGone ? ERROR_NOT_READY : ERROR_INVALID_FUNCTION);
            return FALSE;
        }
        *line = Api().line;
        return TRUE;
    }
    static BOOL WINAPI SetupComm(HANDLE, DWORD input, DWORD output) {
        Api().queueSizes[0] = input;
        Api().queueSizes[1] = output;
        return TRUE;
    }
    static BOOL WINAPI SetCommTimeouts(HANDLE, LPCOMMTIMEOUTS timeouts) {
        Api().timeouts = *timeouts;
        return TRUE;
    }
    static BOOL WINAPI GetCommMask(HANDLE, LPDWORD mask) {
        *mask = Api().mask;
        return TRUE;
    }
    static BOOL WINAPI SetCommMask(HANDLE, DWORD mask) {
        Hold hold(Api().m_lock);
        Api().mask = mask;
        for (auto& [record, pending] : Api().m_pending) {
            if (pending.events && !pending.completed) Api().Complete(record, 0);
        }
        return TRUE;
    }
    static BOOL WINAPI WaitCommEvent(HANDLE, LPDWORD events, LPOVERLAPPED record) {
        return Api().waitCommEvent(events, record);
    }
    static BOOL WINAPI ClearCommError(HANDLE, LPDWORD errors, LPCOMSTAT status) {
        if (Api().deviceGone) {
            SetLastError(ERROR_NOT_READY);
            return FALSE;
        }
        *errors = 0;
        if (status) {
            *status = COMSTAT{};
            status->cbInQue = Api().bytesQueued();
            status->cbOutQue = Api().bytesUnsent();
        }
        return TRUE;
    }
    static BOOL WINAPI ReadFile(HANDLE, LPVOID buffer, DWORD size, LPDWORD read, LPOVERLAPPED record) {
        Api().readThread = GetCurrentThreadId();
        return Api().readFile(buffer, size, read, record);
    }
    static BOOL WINAPI WriteFile(HANDLE, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED record) {
        Api().writeThread = GetCurrentThreadId();
        const BOOL result = Api().writeFile(data, size, written, record);
        if (!result && GetLastError() == ERROR_IO_PENDING) {
            Hold hold(Api().m_lock);
            Api().m_pending[record].write = true;
            SetLastError(ERROR_IO_PENDING);
        }
        return result;
    }
    static BOOL WINAPI GetOverlappedResult(HANDLE, LPOVERLAPPED record, LPDWORD bytes, BOOL wait) {
        Hold hold(Api().m_lock);
        ++Api().overlappedResultCalls;
        auto found = Api().m_pending.find(record);
        if (found == Api().m_pending.end()) {
            ADD_FAILURE() << "result asked of a record with no I/O started";
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        if (!found->second.completed && wait && Api().whenWaitedFor) Api().whenWaitedFor(record);
        if (!found->second.completed) {
            // A real driver would block for ever here.
            if (wait) ADD_FAILURE() << "waits for I/O that nothing will complete";
            SetLastError(ERROR_IO_INCOMPLETE);
            return FALSE;
        }
        ScriptedSerialApi::Pending done = found->second;
        Api().m_pending.erase(found);
        *bytes = done.bytes;
        SetLastError(done.error);
        return done.error == ERROR_SUCCESS;
    }
    static BOOL WINAPI CancelIoEx(HANDLE, LPOVERLAPPED target) {
        Hold hold(Api().m_lock);
        Api().cancelThread = GetCurrentThreadId();
        bool found = false;
        for (auto& [record, pending] : Api().m_pending) {
            if (pending.completed || (target && record != target)) continue;
            found = true;
            if (pending.write) Api().writeCancelledAt = GetTickCount64();
            if (pending.write && !Api().cancelsWrites) continue;
            DWORD bytes = pending.events ? 0 : Api().bytesBeforeCancel;
            Api().Complete(record, bytes, bytes ? ERROR_SUCCESS : ERROR_OPERATION_ABORTED);
        }
        if (!found) SetLastError(ERROR_NOT_FOUND);
        return found;
    }
    static BOOL WINAPI PurgeComm(HANDLE, DWORD flags) {
        Hold hold(Api().m_lock);
        ++Api().outputPurges;
        Api().purgedAt = GetTickCount64();
        if ((flags & PURGE_TXABORT) && Api().purgeEndsWrites) Api().EndWrites();
        return TRUE;
    }
};

ScriptedSerialApi::ScriptedSerialApi() { g_current = this; }
ScriptedSerialApi::~ScriptedSerialApi() { g_current = nullptr; }

ScriptedSerialApi& ScriptedSerialApi::Current() { return *g_current; }

const SerialApi& ScriptedSerialApi::Table() const {
    static const SerialApi table{
        &ScriptedCalls::CreateFileW,     &ScriptedCalls::CloseHandle,   &ScriptedCalls::SetCommState,
        &ScriptedCalls::SetupComm,       &ScriptedCalls::SetCommTimeouts, &ScriptedCalls::GetCommMask,
        &ScriptedCalls::SetCommMask,     &ScriptedCalls::WaitCommEvent, &ScriptedCalls::ClearCommError,
        &ScriptedCalls::ReadFile,        &ScriptedCalls::WriteFile,     &ScriptedCalls::GetOverlappedResult,
        &ScriptedCalls::CancelIoEx,        &ScriptedCalls::GetCommState,  &ScriptedCalls::PurgeComm,
    };
    return table;
}

BOOL ScriptedSerialApi::Pend(OVERLAPPED* record, DWORD* events) {
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    Pending pending;
    pending.events = events;
    m_pending[record] = pending;
    ResetEvent(record->hEvent);
    SetLastError(ERROR_IO_PENDING);
    return FALSE;
}

void ScriptedSerialApi::Complete(OVERLAPPED* record, DWORD bytes, DWORD error, DWORD events) {
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    Pending& pending = m_pending[record];
    pending.completed = true;
    pending.bytes = bytes;
    pending.error = error;
    if (pending.events) *pending.events = events;
    record->InternalHigh = bytes;
    if (record->hEvent) SetEvent(record->hEvent);
}

void ScriptedSerialApi::EndWrites() {
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    for (auto& [record, pending] : m_pending) {
        if (pending.write && !pending.completed) Complete(record, bytesBeforeCancel, ERROR_OPERATION_ABORTED);
    }
}

std::vector<std::wstring> ScriptedSerialApi::OpenedPaths() const {
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    return m_openedPaths;
}

size_t ScriptedSerialApi::Unreaped() const {
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    return m_pending.size();
}
