#include "settings/ComboChoices.h"
#include <vector>
#include "plugin_api/ComboItem.h"
#include "plugin_api/EnumeratorImpl.h"

namespace Settings {
namespace {

using ItemSequence = std::vector<Plugin::IComboItem*>;

// Holds our one reference on each item, and drops it however the scope
// ends, so an allocation failure halfway through leaks none of the items
// made so far.
class OwnedItems {
public:
    OwnedItems() = default;
    OwnedItems(const OwnedItems&) = delete;
    OwnedItems& operator=(const OwnedItems&) = delete;
    ~OwnedItems() {
        for (Plugin::IComboItem* item : m_items) item->Release();
    }

    void Reserve(size_t count) { m_items.reserve(count); }
    void Add(int32_t value, const Plugin::WideString& caption) {
        auto* item = new Plugin::Detail::CComboItem(value, caption);
        item->AddRef();
        m_items.push_back(item);  // cannot fail: room was reserved
    }
    const ItemSequence& Items() const { return m_items; }

private:
    ItemSequence m_items;
};

}  // namespace

bool OfferChoices(IPropertyListView& view, int32_t id, bool flag, const wchar_t* caption,
                  const OptionList& choices, int32_t selected) {
    OwnedItems items;
    items.Reserve(choices.size());
    for (const auto& [value, text] : choices) items.Add(value, text);

    Plugin::CEnumeratorImpl<ItemSequence> enumerator(items.Items());
    return view.AddComboProperty(id, flag, caption, &enumerator, selected);
}

}  // namespace Settings
