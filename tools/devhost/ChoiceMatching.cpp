#include "ChoiceMatching.h"
#include <windows.h>
#include "TextCompare.h"

namespace DevHost {
namespace {

struct ValueName {
    int32_t propertyId;
    int32_t value;
    const wchar_t* name;
};

// Parity codes are Win32's; flow modes are the plug-in's stored numbers.
constexpr ValueName kValueNames[] = {
    {3, NOPARITY, L"none"},  {3, ODDPARITY, L"odd"},   {3, EVENPARITY, L"even"},
    {3, MARKPARITY, L"mark"}, {3, SPACEPARITY, L"space"}, {6, 0, L"none"},
    {6, 1, L"hardware"},     {6, 2, L"xonxoff"},
};

const wchar_t* EnglishName(int32_t propertyId, int32_t value) {
    for (const ValueName& entry : kValueNames) {
        if (entry.propertyId == propertyId && entry.value == value) return entry.name;
    }
    return nullptr;
}

bool ParseNumber(std::wstring_view text, long long limit, long long& number) {
    bool negative = !text.empty() && text.front() == L'-';
    if (negative) text.remove_prefix(1);
    if (text.empty() || text.size() > 10) return false;
    number = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') return false;
        number = number * 10 + (c - L'0');
    }
    if (negative) number = -number;
    return number <= limit && number >= -limit - 1;
}

bool Offers(const std::vector<Choice>& choices, int32_t value) {
    for (const Choice& choice : choices) {
        if (choice.value == value) return true;
    }
    return false;
}

}  // namespace

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
    long long number = 0;
    if (ParseNumber(text, INT32_MAX, number) && Offers(choices, static_cast<int32_t>(number))) {
        value = static_cast<int32_t>(number);
        return true;
    }
    return false;
}

std::wstring DescribeChoices(int32_t propertyId, const std::vector<Choice>& choices) {
    if (choices.empty()) return L"(none offered)";
    std::wstring list;
    for (const Choice& choice : choices) {
        if (!list.empty()) list += L", ";
        list += choice.caption;
        if (const wchar_t* name = EnglishName(propertyId, choice.value)) list += std::wstring(L" (") + name + L")";
    }
    return list;
}

bool ParseWaitTime(std::wstring_view text, int32_t& seconds) {
    long long number = 0;
    if (!ParseNumber(text, INT32_MAX, number) || number < 0) return false;
    seconds = static_cast<int32_t>(number);
    return true;
}

}  // namespace DevHost
