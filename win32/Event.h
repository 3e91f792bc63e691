#pragma once
#include <windows.h>
#include <new>
#include "win32/UniqueHandle.h"

namespace Win32 {

// Owns one unnamed event. An event that cannot be made is an allocation
// failure, raised here: no owner of one ever holds none, so no caller checks.
// Overlapped records need manual reset (GetOverlappedResult must still see
// the signal after a wait took it); automatic reset lets one signal end one
// wait.
class CEvent {
public:
    enum class Reset { Manual, Automatic };

    explicit CEvent(Reset reset, bool signalled = false)
        : m_handle(CreateEventW(nullptr, reset == Reset::Manual ? TRUE : FALSE, signalled ? TRUE : FALSE, nullptr)) {
        if (!m_handle.IsValid()) throw std::bad_alloc();
    }

    HANDLE Get() const { return m_handle.Get(); }
    void Set() const { SetEvent(m_handle.Get()); }
    void Clear() const { ResetEvent(m_handle.Get()); }

private:
    CUniqueHandle m_handle;
};

}  // namespace Win32
