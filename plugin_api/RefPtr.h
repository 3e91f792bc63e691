#pragma once
#include <utility>

namespace Plugin {

// Holds one reference on a reference-counted object (one with AddRef and
// Release, as CRefCountedImpl gives it) and drops it however its scope ends.
template <typename T>
class CRefPtr {
public:
    CRefPtr() = default;
    // Takes a reference of its own on object.
    explicit CRefPtr(T* object) : m_object(object) {
        if (m_object) m_object->AddRef();
    }
    // Takes over the reference the caller holds, without a new one.
    static CRefPtr Adopt(T* object) {
        CRefPtr held;
        held.m_object = object;
        return held;
    }
    CRefPtr(const CRefPtr& other) : CRefPtr(other.m_object) {}
    CRefPtr(CRefPtr&& other) noexcept : m_object(std::exchange(other.m_object, nullptr)) {}
    CRefPtr& operator=(CRefPtr other) noexcept {
        std::swap(m_object, other.m_object);
        return *this;
    }
    ~CRefPtr() {
        if (m_object) m_object->Release();
    }

    T* Get() const { return m_object; }
    T* operator->() const { return m_object; }

private:
    T* m_object = nullptr;
};

}  // namespace Plugin
