#pragma once

namespace Plugin {

// Forward walk over a sequence. No reference count and no destructor slot:
// nobody destroys an enumerator through this interface.
template <typename T>
class IEnumerator {
public:
    virtual bool HasCurrent() = 0;
    virtual void MoveNext() = 0;
    // Defined only while HasCurrent() is true.
    virtual T GetCurrent() = 0;
    virtual void Reset() = 0;

protected:
    ~IEnumerator() = default;
};

}  // namespace Plugin
