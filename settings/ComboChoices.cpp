#include "settings/ComboChoices.h"
#include <vector>
#include "plugin_api/ComboItem.h"
#include "plugin_api/EnumeratorImpl.h"
#include "plugin_api/RefPtr.h"

namespace Settings {

bool OfferChoices(IPropertyListView& view, int32_t id, bool flag, const wchar_t* caption,
                  const OptionList& choices, int32_t selected) {
    // Our one reference on each item goes however the call ends, so an
    // allocation failure halfway through leaks none of the items made.
    std::vector<Plugin::CRefPtr<Plugin::IComboItem>> held;
    std::vector<Plugin::IComboItem*> items;
    held.reserve(choices.size());
    items.reserve(choices.size());
    for (const auto& [value, text] : choices) {
        // Cannot fail once the item is made: room was reserved.
        held.emplace_back(new Plugin::Detail::CComboItem(value, text));
        items.push_back(held.back().Get());
    }

    Plugin::CEnumeratorImpl<std::vector<Plugin::IComboItem*>> enumerator(items);
    return view.AddComboProperty(id, flag, caption, &enumerator, selected);
}

}  // namespace Settings
