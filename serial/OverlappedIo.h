#pragma once
#include <windows.h>
#include <cstdint>
#include "serial/SerialApi.h"
#include "win32/Event.h"

namespace Serial {

// How an overlapped operation stands.
// Gone is a failure after which the device no longer answers: only the
// worker's port (CWorkerPort) judges so, every other call reports Failed.
enum class IoState { Completed, Pending, Failed, Gone };

// What every Win32 call on the device reports, overlapped or not. bytes is
// what it moved, also when it failed or was cancelled part-way, and never
// more than it was given; error is the Win32 error of a failure,
// ERROR_SUCCESS otherwise (an open that completed says there what the
// driver refused of it); data is where a read's bytes lie until the next
// read, null for every other call.
struct IoResult {
    IoState state;
    DWORD bytes;
    DWORD error;
    const uint8_t* data = nullptr;

    // The answer of a call that returns only whether the driver took it.
    static IoResult Of(BOOL taken) {
        if (taken) return {IoState::Completed, 0, ERROR_SUCCESS};
        return {IoState::Failed, 0, GetLastError()};
    }
    bool Completed() const { return state == IoState::Completed; }
    bool Failed() const { return state == IoState::Failed || state == IoState::Gone; }
};

// One overlapped operation on a device and everything the driver writes
// into while it runs: its record, its event and, for a wait, the event
// mask. At most one runs at a time. Whoever starts one ends it (Finish with
// wait, or Cancel); this owner cancels and reaps one still running before
// its memory goes.
class COverlappedIo {
public:
    explicit COverlappedIo(const SerialApi& api);
    ~COverlappedIo();
    COverlappedIo(const COverlappedIo&) = delete;
    COverlappedIo& operator=(const COverlappedIo&) = delete;

    // Signalled when the running operation completes.
    HANDLE Event() const { return m_event.Get(); }
    // True from a start that reported Pending until the operation is reaped.
    bool Running() const { return m_running; }

    IoResult StartWait(HANDLE device);
    IoResult StartRead(HANDLE device, void* buffer, DWORD count);
    IoResult StartWrite(HANDLE device, const void* data, DWORD count);
    // The running operation's end; without wait, Pending while it runs.
    IoResult Finish(bool wait);
    // Ends the running operation and reaps it; reports what it moved.
    IoResult Cancel();
    // Asks the driver to end the running operation, and returns at once.
    void RequestCancel();

private:
    void Prepare(HANDLE device, DWORD count);
    IoResult Started(BOOL result, DWORD bytes);
    // The driver's count is its word, but the buffers are ours: no count
    // moves a caller's pointer past what the operation was given.
    DWORD Moved(DWORD reported) const { return reported < m_count ? reported : m_count; }

    const SerialApi& m_api;
    HANDLE m_device = INVALID_HANDLE_VALUE;
    OVERLAPPED m_record{};
    Win32::CEvent m_event{Win32::CEvent::Reset::Manual};
    // Where a wait's driver writes the events it saw, when it completes.
    DWORD m_events = 0;
    // The bytes the running or last read or write was given (none to a wait).
    DWORD m_count = 0;
    bool m_running = false;
};

}  // namespace Serial
