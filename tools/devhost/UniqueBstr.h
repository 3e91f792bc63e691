#pragma once
#include <windows.h>
#include <oleauto.h>
#include <utility>

namespace DevHost {

// Owns one BSTR received from the plug-in; frees it with SysFreeString.
class UniqueBstr {
public:
    UniqueBstr() = default;
    explicit UniqueBstr(BSTR text) : m_text(text) {}
    UniqueBstr(UniqueBstr&& other) noexcept : m_text(std::exchange(other.m_text, nullptr)) {}
    UniqueBstr& operator=(UniqueBstr&& other) noexcept {
        if (this != &other) Reset(std::exchange(other.m_text, nullptr));
        return *this;
    }
    UniqueBstr(const UniqueBstr&) = delete;
    UniqueBstr& operator=(const UniqueBstr&) = delete;
    ~UniqueBstr() { Reset(); }

    BSTR Get() const { return m_text; }
    // A null BSTR is the empty string by the OLE convention.
    const wchar_t* Text() const { return m_text ? m_text : L""; }
    void Reset(BSTR text = nullptr) {
        BSTR old = std::exchange(m_text, text);
        if (old) SysFreeString(old);
    }

private:
    BSTR m_text = nullptr;
};

}  // namespace DevHost
