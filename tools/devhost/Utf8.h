#pragma once
#include <string>
#include <string_view>

namespace DevHost {

std::string ToUtf8(std::wstring_view text);
// Invalid sequences become U+FFFD rather than dropping the whole text.
std::wstring FromUtf8(std::string_view bytes);

// UTF-8 that arrives in pieces, as an instrument's blocks do: a character
// split between two pieces is decoded whole once its end has come.
class CUtf8Decoder {
public:
    std::wstring Decode(std::string_view bytes);
    // What is held back, decoded as it is (U+FFFD for a cut character).
    std::wstring Flush();

private:
    std::string m_held;
};

}  // namespace DevHost
