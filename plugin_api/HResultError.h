#pragma once
#include <windows.h>
#include <oleauto.h>
#include <exception>

namespace Plugin {

// The module's failure for strings and BSTRs that cannot be allocated. Other
// allocations (table and queue entries) raise std::bad_alloc. Either leaves
// the operation that failed, up to the slot the host called, where
// HostBoundary.h turns it into that slot's defined failure (the worker
// thread catches everything likewise): no exception reaches the host.
class HResultError : public std::exception {
public:
    explicit HResultError(HRESULT code) : m_code(code) {}
    HRESULT Code() const noexcept { return m_code; }
    const char* what() const noexcept override { return "HRESULT failure"; }

private:
    HRESULT m_code;
};

// A new BSTR copy of text; raises E_OUTOFMEMORY instead of returning null.
inline BSTR AllocBstrOrThrow(const wchar_t* text) {
    BSTR copy = SysAllocString(text);
    if (!copy) throw HResultError(E_OUTOFMEMORY);
    return copy;
}

}  // namespace Plugin
