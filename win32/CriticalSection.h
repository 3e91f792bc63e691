#pragma once
#include <windows.h>

namespace Win32 {

// Owns a critical section for the life of its owner.
class CriticalSection {
public:
    CriticalSection() { InitializeCriticalSection(&m_section); }
    ~CriticalSection() { DeleteCriticalSection(&m_section); }
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    void Enter() { EnterCriticalSection(&m_section); }
    void Leave() { LeaveCriticalSection(&m_section); }

private:
    CRITICAL_SECTION m_section;
};

// Holds a critical section for one scope, also when an exception leaves it.
class Lock {
public:
    explicit Lock(CriticalSection& section) : m_section(section) { m_section.Enter(); }
    ~Lock() { m_section.Leave(); }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

private:
    CriticalSection& m_section;
};

}  // namespace Win32
