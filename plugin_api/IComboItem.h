#pragma once
#include <windows.h>
#include <oleauto.h>
#include <cstdint>
#include "plugin_api/IRefCounted.h"

namespace Plugin {

// One choice of a drop-down property.
class IComboItem : public IRefCounted {
public:
    virtual int32_t GetValue() = 0;
    // A new BSTR that the caller frees; null when it cannot be allocated.
    virtual BSTR GetCaption() = 0;

protected:
    ~IComboItem() = default;
};

}  // namespace Plugin
