#pragma once
#include <windows.h>
#include <utility>

namespace Win32 {

// Owns one kernel handle. Both null and INVALID_HANDLE_VALUE mean "none",
// since CreateFile reports failure with one and CreateEvent with the other.
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE handle) : m_handle(handle) {}
    UniqueHandle(UniqueHandle&& other) noexcept : m_handle(other.Detach()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) Reset(other.Detach());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle() { Reset(); }

    static bool IsValid(HANDLE handle) { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }
    bool IsValid() const { return IsValid(m_handle); }
    HANDLE Get() const { return m_handle; }

    HANDLE Detach() { return std::exchange(m_handle, INVALID_HANDLE_VALUE); }
    void Reset(HANDLE handle = INVALID_HANDLE_VALUE) {
        HANDLE old = std::exchange(m_handle, handle);
        if (IsValid(old)) CloseHandle(old);
    }

private:
    HANDLE m_handle = INVALID_HANDLE_VALUE;
};

}  // namespace Win32
