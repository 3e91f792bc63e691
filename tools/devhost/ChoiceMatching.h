#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace DevHost {

// One item of a drop-down property as the plug-in offered it.
struct Choice {
    int32_t value;
    std::wstring caption;
};

// Finds the choice that text names, trying in turn: its caption (ignoring
// case), an English name of the value (parity and flow: none, odd, even,
// mark, space; none, hardware, xonxoff), and its value as a number. A
// caption wins over a number, so stop=1 is the caption "1", not value 1.
bool MatchChoice(int32_t propertyId, const std::vector<Choice>& choices, std::wstring_view text, int32_t& value);

// The valid choices for a message: "Нет (none), Нечет (odd), ...".
std::wstring DescribeChoices(int32_t propertyId, const std::vector<Choice>& choices);

// The wait time: a whole number of seconds, 0 or more.
bool ParseWaitTime(std::wstring_view text, int32_t& seconds);

}  // namespace DevHost
