#include "PropertyNames.h"
#include "TextCompare.h"

namespace DevHost {
namespace {

constexpr PropertyName kNames[] = {
    {kPortId, L"port", L"PORT"},     {2, L"baud", L"BAUDRATE"},    {3, L"parity", L"PARITY"},
    {4, L"data", L"BYTESIZE"}, {5, L"stop", L"STOPBITS"},    {6, L"flow", L"FLOWCONTROL"},
    {kWaitTimeId, L"wait", L"WATETIME"},
};

}  // namespace

const PropertyName* FindPropertyName(std::wstring_view name) {
    for (const PropertyName& entry : kNames) {
        if (EqualsIgnoringCase(name, entry.name) || EqualsIgnoringCase(name, entry.storageKey)) return &entry;
    }
    return nullptr;
}

std::wstring NameOfProperty(int32_t id) {
    for (const PropertyName& entry : kNames) {
        if (entry.id == id) return entry.name;
    }
    return std::to_wstring(id);
}

std::wstring ListPropertyNames() {
    std::wstring list;
    for (const PropertyName& entry : kNames) {
        if (!list.empty()) list += L", ";
        list += entry.name;
    }
    return list;
}

}  // namespace DevHost
