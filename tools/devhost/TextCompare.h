#pragma once
#include <string_view>

namespace DevHost {

// Case-insensitive equality that also folds Cyrillic captions ("нет" = "Нет").
bool EqualsIgnoringCase(std::wstring_view a, std::wstring_view b);

}  // namespace DevHost
