#pragma once
#include <windows.h>
#include <memory>
#include <vector>
#include "win32/Event.h"

namespace DevHost {

// devhost's one overlapped call on a port, with the memory the driver
// writes into while it runs: the record and its event, a wait's event mask,
// a buffer. Whatever ends the call, it is reaped before that memory goes;
// a call that a driver never ends, not even after a cancel, keeps its
// memory to the end of the process rather than hand the driver freed memory.
class COverlappedCall {
public:
    static constexpr DWORD kLastChanceMs = 1000;

    COverlappedCall(HANDLE port, DWORD bufferSize) : m_port(port), m_state(std::make_unique<State>(bufferSize)) {}
    ~COverlappedCall() {
        if (!m_running) return;
        CancelIoEx(m_port, &m_state->record);
        DWORD moved = 0;
        if (EndsWithin(kLastChanceMs)) {
            Reap(&moved);
        } else {
            m_state.release();  // NOLINT(bugprone-unused-return-value): the driver may still write into it
        }
    }
    COverlappedCall(const COverlappedCall&) = delete;
    COverlappedCall& operator=(const COverlappedCall&) = delete;

    OVERLAPPED* Record() { return &m_state->record; }
    DWORD* Events() { return &m_state->events; }
    std::vector<uint8_t>& Buffer() { return m_state->buffer; }

    // ERROR_SUCCESS when the start completed or went pending (the call
    // runs until reaped), otherwise the error that refused it.
    DWORD Started(BOOL completed) {
        const DWORD error = completed ? ERROR_SUCCESS : GetLastError();
        m_running = completed || error == ERROR_IO_PENDING;
        return m_running ? ERROR_SUCCESS : error;
    }
    bool EndsWithin(DWORD milliseconds) const {
        return WaitForSingleObject(m_state->done.Get(), milliseconds) == WAIT_OBJECT_0;
    }
    // The error the ended call reports, and what it moved.
    DWORD Reap(DWORD* moved) {
        m_running = false;
        return GetOverlappedResult(m_port, &m_state->record, moved, FALSE) ? ERROR_SUCCESS : GetLastError();
    }

private:
    struct State {
        explicit State(DWORD bufferSize) : buffer(bufferSize) { record.hEvent = done.Get(); }
        Win32::Event done{Win32::Event::Reset::Manual};
        OVERLAPPED record{};
        DWORD events = 0;
        std::vector<uint8_t> buffer;
    };

    HANDLE m_port;
    std::unique_ptr<State> m_state;
    bool m_running = false;
};

}  // namespace DevHost
