#pragma once
#include <windows.h>
#include "win32/UniqueHandle.h"

namespace Win32 {

// Owns an unnamed manual-reset event, or none. Overlapped records need manual
// reset: GetOverlappedResult must still see the signal after a wait took it.
class ManualResetEvent {
public:
    ManualResetEvent() = default;
    // Non-signalled unless told; holds none when the system cannot make one.
    static ManualResetEvent Create(bool signalled = false) {
        ManualResetEvent event;
        event.m_handle.Reset(CreateEventW(nullptr, TRUE, signalled ? TRUE : FALSE, nullptr));
        return event;
    }

    bool IsValid() const { return m_handle.IsValid(); }
    // Null when there is none, as an OVERLAPPED record expects.
    HANDLE Get() const { return m_handle.IsValid() ? m_handle.Get() : nullptr; }
    void Set() {
        if (m_handle.IsValid()) SetEvent(m_handle.Get());
    }
    void Reset() {
        if (m_handle.IsValid()) ResetEvent(m_handle.Get());
    }

private:
    UniqueHandle m_handle;
};

}  // namespace Win32
