#pragma once
#include <windows.h>
#include <oleauto.h>
#include <utility>

namespace Win32 {

// Owns one BSTR handed over by the other side; freeing null does nothing.
class CUniqueBstr {
public:
    CUniqueBstr() = default;
    explicit CUniqueBstr(BSTR text) : m_text(text) {}
    CUniqueBstr(const CUniqueBstr&) = delete;
    CUniqueBstr& operator=(const CUniqueBstr&) = delete;
    ~CUniqueBstr() { SysFreeString(m_text); }

    BSTR Get() const { return m_text; }
    // A null BSTR is the empty string by the OLE convention.
    const wchar_t* Text() const { return m_text ? m_text : L""; }
    // For a callee that allocates into an out-parameter; frees what was held.
    BSTR* Receive() {
        SysFreeString(std::exchange(m_text, nullptr));
        return &m_text;
    }

private:
    BSTR m_text = nullptr;
};

}  // namespace Win32
