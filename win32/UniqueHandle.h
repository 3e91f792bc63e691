#pragma once
#include <windows.h>
#include <utility>

namespace Win32 {

// Owns one kernel handle. Both null and INVALID_HANDLE_VALUE mean "none",
// since CreateFile reports failure with one and CreateEvent with the other.
// The handle is closed with CloseHandle, or with the close function given:
// a device opened through a table of calls (a test's stand-in driver) is
// closed through the same table.
class CUniqueHandle {
public:
    using Close = BOOL(WINAPI*)(HANDLE);

    CUniqueHandle() = default;
    explicit CUniqueHandle(HANDLE handle, Close close = &::CloseHandle) : m_handle(handle), m_close(close) {}
    CUniqueHandle(CUniqueHandle&& other) noexcept : m_handle(other.Detach()), m_close(other.m_close) {}
    CUniqueHandle& operator=(CUniqueHandle&& other) noexcept {
        if (this != &other) {
            Reset(other.Detach());
            m_close = other.m_close;
        }
        return *this;
    }
    CUniqueHandle(const CUniqueHandle&) = delete;
    CUniqueHandle& operator=(const CUniqueHandle&) = delete;
    ~CUniqueHandle() { Reset(); }

    static bool IsValid(HANDLE handle) { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }
    bool IsValid() const { return IsValid(m_handle); }
    HANDLE Get() const { return m_handle; }

    HANDLE Detach() { return std::exchange(m_handle, INVALID_HANDLE_VALUE); }
    void Reset(HANDLE handle = INVALID_HANDLE_VALUE) {
        HANDLE old = std::exchange(m_handle, handle);
        if (IsValid(old)) m_close(old);
    }

private:
    HANDLE m_handle = INVALID_HANDLE_VALUE;
    Close m_close = &::CloseHandle;
};

}  // namespace Win32
