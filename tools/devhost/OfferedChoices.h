#pragma once
#include <vector>
#include "ChoiceMatching.h"
#include "plugin_api/IComboItem.h"
#include "plugin_api/IEnumerator.h"

namespace DevHost {

// Copies the items the plug-in offers for one drop-down; the enumerator and
// its items are valid only during AddComboProperty, so nothing is kept.
std::vector<Choice> ReadOfferedChoices(Plugin::IEnumerator<Plugin::IComboItem*>* choices);

// A stored value that none of the choices holds, as devhost shows it in
// place of the plug-in's selection: "COM9 (not present)" for a port this
// machine lacks (the plug-in then selects the first port found, but opens
// COM9), "31337 (not among the choices)" for another setting. Empty when
// the stored value is one of the choices.
std::wstring UnofferedSelection(int32_t propertyId, const std::vector<Choice>& choices, int32_t selected,
                                const std::wstring& storedPort);

}  // namespace DevHost
