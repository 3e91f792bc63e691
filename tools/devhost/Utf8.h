#pragma once
#include <string>
#include <string_view>

namespace DevHost {

std::string ToUtf8(std::wstring_view text);
// Invalid sequences become U+FFFD rather than dropping the whole text.
std::wstring FromUtf8(std::string_view bytes);

}  // namespace DevHost
