#pragma once
#include <windows.h>

namespace Win32 {

// One reference on the module that holds a piece of our code, so that the
// code stays mapped while a thread of ours runs it, even when the host
// unloads the module meanwhile. Freed when it goes; never let go inside a
// lock of ours, as FreeLibrary takes the loader's lock.
class CModuleReference {
public:
    CModuleReference() = default;
    ~CModuleReference() {
        if (m_module) FreeLibrary(m_module);
    }
    CModuleReference(const CModuleReference&) = delete;
    CModuleReference& operator=(const CModuleReference&) = delete;

    // False when no reference could be taken.
    bool Take(const void* code) {
        return GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, static_cast<LPCWSTR>(code), &m_module) !=
               FALSE;
    }
    // The reference is a thread's from now on, which drops it with EndThread.
    void HandToThread() { m_module = nullptr; }
    // Ends the calling thread and drops the reference it was handed, as the
    // thread's last act: the module may be unmapped the moment it goes.
    [[noreturn]] static void EndThread(const void* code) {
        HMODULE module = nullptr;
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           static_cast<LPCWSTR>(code), &module);
        FreeLibraryAndExitThread(module, 0);
    }

private:
    HMODULE m_module = nullptr;
};

}  // namespace Win32
