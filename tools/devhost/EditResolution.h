#pragma once
#include <string>
#include <vector>
#include "AnsweringPropertyView.h"
#include "SetArguments.h"

namespace DevHost {

// Checks every requested value against what the plug-in offered in the view
// and, only when all are valid, gives the view its answers. Otherwise
// returns false with one line per refused value, naming the valid choices.
bool ResolveEdits(const std::vector<SetRequest>& requests, CAnsweringPropertyView& view, std::wstring& errors);

}  // namespace DevHost
