#pragma once
#include <vector>
#include "ChoiceMatching.h"
#include "plugin_api/IComboItem.h"
#include "plugin_api/IEnumerator.h"

namespace DevHost {

// Copies the items the plug-in offers for one drop-down; the enumerator and
// its items are valid only during AddComboProperty, so nothing is kept.
std::vector<Choice> ReadOfferedChoices(Plugin::IEnumerator<Plugin::IComboItem*>* choices);

}  // namespace DevHost
