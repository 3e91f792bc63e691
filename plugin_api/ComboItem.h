#pragma once
#include <cstdint>
#include "plugin_api/WideString.h"
#include "plugin_api/IComboItem.h"
#include "plugin_api/RefCounted.h"

namespace Plugin {
namespace Detail {

// A drop-down choice handed to the host's view. Used on one thread only,
// hence the plain counter.
class CComboItem : public CRefCountedImpl<IComboItem, 0> {
public:
    CComboItem(int32_t value, WideString caption)
        : m_value(value), m_caption(std::move(caption)) {}

    int32_t GetValue() override { return m_value; }
    BSTR GetCaption() override { return SysAllocString(m_caption.c_str()); }

private:
    ~CComboItem() override = default;

    const int32_t m_value;
    const WideString m_caption;
};

}  // namespace Detail
}  // namespace Plugin
