#pragma once
#include <windows.h>

namespace Plugin {
namespace Detail {

// The reference count. ThreadSafe 1 changes it with interlocked operations
// (objects shared with other threads); 0 with plain ones (single-thread items).
template <int ThreadSafe>
class CRefCountedBase;

template <>
class CRefCountedBase<1> {
protected:
    LONG Increment() { return InterlockedIncrement(&m_count); }
    LONG Decrement() { return InterlockedDecrement(&m_count); }

private:
    LONG volatile m_count = 0;
};

template <>
class CRefCountedBase<0> {
protected:
    LONG Increment() { return ++m_count; }
    LONG Decrement() { return --m_count; }

private:
    LONG m_count = 0;
};

}  // namespace Detail

// Implements AddRef and Release of Interface. Its virtual destructor comes
// after all of Interface's slots, so the host-visible table is unchanged.
template <typename Interface, int ThreadSafe>
class CRefCountedImpl : public Interface, private Detail::CRefCountedBase<ThreadSafe> {
public:
    CRefCountedImpl() = default;
    CRefCountedImpl(const CRefCountedImpl&) = delete;
    CRefCountedImpl& operator=(const CRefCountedImpl&) = delete;

    void AddRef() override { this->Increment(); }

    bool Release() override {
        if (this->Decrement() != 0) return false;
        delete this;
        return true;
    }

protected:
    virtual ~CRefCountedImpl() = default;
};

}  // namespace Plugin
