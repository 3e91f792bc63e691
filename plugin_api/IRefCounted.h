#pragma once

namespace Plugin {

// Root of the reference-counted interfaces. Interfaces have no data and no
// virtual destructor; objects are destroyed only by their own Release.
class IRefCounted {
public:
    virtual void AddRef() = 0;
    // True exactly when this call destroyed the object.
    virtual bool Release() = 0;

protected:
    ~IRefCounted() = default;
};

}  // namespace Plugin
