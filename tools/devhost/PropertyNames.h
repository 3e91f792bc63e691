#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>
#include "plugin_api/SharedConstants.h"

namespace DevHost {

// The name by which a user edits one of the plug-in's properties on the
// command line; the key under which the plug-in stores it is a name too.
struct PropertyName {
    Shared::StoredSetting setting;
    const wchar_t* name;
};

// Case-insensitive; null when nothing is called so.
const PropertyName* FindPropertyName(std::wstring_view name);
// The short name of the property with this id, or the id as a number.
std::wstring NameOfProperty(int32_t id);
// "port, baud, ..." for messages.
std::wstring ListPropertyNames();

// One item of a drop-down property as the plug-in offered it.
struct Choice {
    int32_t value;
    std::wstring caption;
};

// A stored value that none of the choices holds, as devhost shows it in
// place of the plug-in's selection: "COM9 (not present)" for a port this
// machine lacks (the plug-in then selects the first port found, but opens
// COM9), "31337 (not among the choices)" for another setting. Empty when
// the stored value is one of the choices.
std::wstring UnofferedSelection(int32_t propertyId, const std::vector<Choice>& choices, int32_t selected,
                                const std::wstring& storedPort);

// The choice that text names: its caption (ignoring case), an English name
// of the value (parity and flow: none, odd, even, mark, space; none,
// hardware, xonxoff), or its value as a number. A caption wins over a
// number, so stop=1 is the caption "1", not value 1.
bool MatchChoice(int32_t propertyId, const std::vector<Choice>& choices, std::wstring_view text, int32_t& value);

// The valid choices for a message: "Нет (none), Нечет (odd), ...".
std::wstring DescribeChoices(int32_t propertyId, const std::vector<Choice>& choices);

// A whole decimal number, no blanks; the wait time is one, 0 or more.
bool ParseInt32(std::wstring_view text, int32_t& number);
bool ParseWaitTime(std::wstring_view text, int32_t& seconds);

}  // namespace DevHost
