#pragma once
#include <windows.h>
#include <utility>

namespace Win32 {

// Owns one open registry key. Both null and INVALID_HANDLE_VALUE mean
// "none": RegOpenKeyExW leaves the one, SetupDiOpenDevRegKey fails with the
// other.
class CUniqueRegKey {
public:
    CUniqueRegKey() = default;
    explicit CUniqueRegKey(HKEY key) : m_key(key) {}
    CUniqueRegKey(const CUniqueRegKey&) = delete;
    CUniqueRegKey& operator=(const CUniqueRegKey&) = delete;
    ~CUniqueRegKey() { Reset(); }

    bool IsValid() const { return m_key != nullptr && m_key != static_cast<HKEY>(INVALID_HANDLE_VALUE); }
    HKEY Get() const { return m_key; }
    // For a callee that opens into an out-parameter; closes what was held.
    HKEY* Receive() {
        Reset();
        return &m_key;
    }

private:
    void Reset() {
        if (IsValid()) RegCloseKey(std::exchange(m_key, nullptr));
    }

    HKEY m_key = nullptr;
};

}  // namespace Win32
