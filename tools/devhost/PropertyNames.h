#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace DevHost {

// The names by which a user edits the plug-in's properties on the command
// line. id is the property's id in the plug-in's list; storageKey is the key
// under which the plug-in keeps the value, accepted as a name too.
struct PropertyName {
    int32_t id;
    const wchar_t* name;
    const wchar_t* storageKey;
};

constexpr int32_t kPortId = 1;
constexpr int32_t kWaitTimeId = 8;

// Case-insensitive; null when nothing is called so.
const PropertyName* FindPropertyName(std::wstring_view name);
// The short name of the property with this id, or the id as a number.
std::wstring NameOfProperty(int32_t id);
// "port, baud, ..." for messages.
std::wstring ListPropertyNames();

}  // namespace DevHost
