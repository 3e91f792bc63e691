#include "PropertyNames.h"
#include <windows.h>

namespace DevHost {
namespace {

constexpr PropertyName kNames[] = {
    {Shared::kPort, L"port"},     {Shared::kBaudRate, L"baud"}, {Shared::kParity, L"parity"},
    {Shared::kDataBits, L"data"}, {Shared::kStopBits, L"stop"}, {Shared::kFlowControl, L"flow"},
    {Shared::kWaitTime, L"wait"},
};

struct ValueName {
    int32_t propertyId;
    int32_t value;
    const wchar_t* name;
};

// Parity codes are Win32's; flow modes are the plug-in's stored numbers.
constexpr ValueName kValueNames[] = {
    {Shared::kParity.propertyId, NOPARITY, L"none"},
    {Shared::kParity.propertyId, ODDPARITY, L"odd"},
    {Shared::kParity.propertyId, EVENPARITY, L"even"},
    {Shared::kParity.propertyId, MARKPARITY, L"mark"},
    {Shared::kParity.propertyId, SPACEPARITY, L"space"},
    {Shared::kFlowControl.propertyId, Shared::kFlowNone, L"none"},
    {Shared::kFlowControl.propertyId, Shared::kFlowHardware, L"hardware"},
    {Shared::kFlowControl.propertyId, Shared::kFlowXonXoff, L"xonxoff"},
};

// Also folds Cyrillic captions ("нет" = "Нет").
bool EqualsIgnoringCase(std::wstring_view a, std::wstring_view b) {
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

const wchar_t* EnglishName(int32_t propertyId, int32_t value) {
    for (const ValueName& entry : kValueNames) {
        if (entry.propertyId == propertyId && entry.value == value) return entry.name;
    }
    return nullptr;
}

bool Offers(const std::vector<Choice>& choices, int32_t value) {
    for (const Choice& choice : choices) {
        if (choice.value == value) return true;
    }
    return false;
}

}  // namespace

const PropertyName* FindPropertyName(std::wstring_view name) {
    for (const PropertyName& entry : kNames) {
        if (EqualsIgnoringCase(name, entry.name) || EqualsIgnoringCase(name, entry.setting.key)) return &entry;
    }
    return nullptr;
}

std::wstring NameOfProperty(int32_t id) {
    for (const PropertyName& entry : kNames) {
        if (entry.setting.propertyId == id) return entry.name;
    }
    return std::to_wstring(id);
}

std::wstring ListPropertyNames() {
    std::wstring list;
    for (const PropertyName& entry : kNames) list += (list.empty() ? L"" : L", ") + std::wstring(entry.name);
    return list;
}

std::wstring UnofferedSelection(int32_t propertyId, const std::vector<Choice>& choices, int32_t selected,
                                const std::wstring& storedPort) {
    const bool isPort = propertyId == Shared::kPort.propertyId;
    for (const Choice& choice : choices) {
        if (isPort ? choice.caption == storedPort : choice.value == selected) return L"";
    }
    return isPort ? storedPort + L" (not present)" : std::to_wstring(selected) + L" (not among the choices)";
}

bool MatchChoice(int32_t propertyId, const std::vector<Choice>& choices, std::wstring_view text, int32_t& value) {
    for (const Choice& choice : choices) {
        if (EqualsIgnoringCase(choice.caption, text)) {
            value = choice.value;
            return true;
        }
    }
    for (const ValueName& entry : kValueNames) {
        if (entry.propertyId == propertyId && EqualsIgnoringCase(entry.name, text) && Offers(choices, entry.value)) {
            value = entry.value;
            return true;
        }
    }
    int32_t number = 0;
    if (!ParseInt32(text, number) || !Offers(choices, number)) return false;
    value = number;
    return true;
}

std::wstring DescribeChoices(int32_t propertyId, const std::vector<Choice>& choices) {
    if (choices.empty()) return L"(none offered)";
    std::wstring list;
    for (const Choice& choice : choices) {
        list += (list.empty() ? L"" : L", ") + choice.caption;
        if (const wchar_t* name = EnglishName(propertyId, choice.value)) list += std::wstring(L" (") + name + L")";
    }
    return list;
}

bool ParseInt32(std::wstring_view text, int32_t& number) {
    const bool negative = !text.empty() && text.front() == L'-';
    if (negative) text.remove_prefix(1);
    if (text.empty() || text.size() > 10) return false;
    long long parsed = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') return false;
        parsed = parsed * 10 + (c - L'0');
    }
    if (negative) parsed = -parsed;
    if (parsed > INT32_MAX || parsed < INT32_MIN) return false;
    number = static_cast<int32_t>(parsed);
    return true;
}

bool ParseWaitTime(std::wstring_view text, int32_t& seconds) {
    int32_t number = 0;
    if (!ParseInt32(text, number) || number < 0) return false;
    seconds = number;
    return true;
}

}  // namespace DevHost
