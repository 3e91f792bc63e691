#pragma once
#include <cstdint>
#include "plugin_api/HostInterfaces.h"
#include "settings/SettingsTables.h"

namespace Settings {

// Hands one drop-down to the view: an item per choice, in ascending value,
// behind an enumerator valid for the call. Items the view did not AddRef are
// gone when this returns. Returns what AddComboProperty returned.
bool OfferChoices(IPropertyListView& view, int32_t id, bool flag, const wchar_t* caption,
                  const OptionList& choices, int32_t selected);

}  // namespace Settings
