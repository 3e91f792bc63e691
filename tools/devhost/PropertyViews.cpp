#include "PropertyViews.h"
#include <windows.h>
#include <new>
#include "IniSettings.h"
#include "win32/UniqueBstr.h"

namespace DevHost {
namespace {

constexpr PropertyName kNames[] = {
    {Settings::Port, L"port"},     {Settings::BaudRate, L"baud"},    {Settings::Parity, L"parity"},
    {Settings::DataBits, L"data"}, {Settings::StopBits, L"stop"},    {Settings::FlowControl, L"flow"},
    {Settings::WaitTime, L"wait"},
};

struct ValueName {
    int32_t propertyId;
    int32_t value;
    const wchar_t* name;
};

// Parity codes are Win32's; flow modes are the plug-in's stored numbers.
constexpr ValueName kValueNames[] = {
    {Settings::Parity, NOPARITY, L"none"},
    {Settings::Parity, ODDPARITY, L"odd"},
    {Settings::Parity, EVENPARITY, L"even"},
    {Settings::Parity, MARKPARITY, L"mark"},
    {Settings::Parity, SPACEPARITY, L"space"},
    {Settings::FlowControl, Settings::FlowNone, L"none"},
    {Settings::FlowControl, Settings::FlowHardware, L"hardware"},
    {Settings::FlowControl, Settings::FlowXonXoff, L"xonxoff"},
};

// Case-insensitive equality that also folds Cyrillic captions ("нет" = "Нет").
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

std::wstring Heading(int32_t id, const wchar_t* caption) {
    return L"  " + std::wstring(caption ? caption : L"") + L" [" + NameOfProperty(id) + L"]";
}

bool Resolve(const SetRequest& request, CAnsweringPropertyView& view, std::wstring& error) {
    const OfferedProperty* property = view.Find(request.id);
    if (!property) {
        error = L"the plug-in offers no " + request.name + L" setting";
        return false;
    }
    if (!property->isChoice) {
        int32_t seconds = 0;
        if (!ParseWaitTime(request.value, seconds)) {
            error = request.name + L"=" + request.value + L" is not a whole number of seconds (0 or more)";
            return false;
        }
        view.AnswerText(request.id, std::to_wstring(seconds));
        return true;
    }
    int32_t value = 0;
    if (!MatchChoice(request.id, property->choices, request.value, value)) {
        error = request.name + L"=" + request.value + L" is not among the choices: " +
                DescribeChoices(request.id, property->choices);
        return false;
    }
    view.AnswerChoice(request.id, value);
    return true;
}

}  // namespace

const PropertyName* FindPropertyName(std::wstring_view name) {
    for (const PropertyName& entry : kNames) {
        if (EqualsIgnoringCase(name, entry.name) || EqualsIgnoringCase(name, StorageKeyOf(entry.id))) return &entry;
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

std::vector<Choice> ReadOfferedChoices(Plugin::IEnumerator<Plugin::IComboItem*>* choices) {
    std::vector<Choice> result;
    if (!choices) return result;
    for (; choices->HasCurrent(); choices->MoveNext()) {
        Plugin::IComboItem* item = choices->GetCurrent();
        if (!item) continue;
        Win32::UniqueBstr caption(item->GetCaption());
        result.push_back({item->GetValue(), caption.Text()});
    }
    return result;
}

std::wstring UnofferedSelection(int32_t propertyId, const std::vector<Choice>& choices, int32_t selected,
                                const std::wstring& storedPort) {
    const bool isPort = propertyId == Settings::Port;
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

void CConsolePropertyView::AddGroup(const wchar_t* caption) {
    m_text += std::wstring(caption ? caption : L"") + L"\n";
}

void CConsolePropertyView::AddTextProperty(int32_t id, bool, const wchar_t* caption, const wchar_t* text) {
    m_text += Heading(id, caption) + L": " + (text ? text : L"") + L"\n";
}

bool CConsolePropertyView::AddComboProperty(int32_t id, bool, const wchar_t* caption,
                                            Plugin::IEnumerator<Plugin::IComboItem*>* choices, int32_t selected) {
    m_text += Heading(id, caption) + L"\n";
    std::vector<Choice> offered = ReadOfferedChoices(choices);
    const std::wstring unoffered = UnofferedSelection(id, offered, selected, m_storedPort);
    if (!unoffered.empty()) m_text += L"    * " + unoffered + L"\n";
    if (offered.empty()) m_text += L"      (no choices)\n";
    for (const Choice& choice : offered) {
        m_text += (unoffered.empty() && choice.value == selected ? L"    * " : L"      ") + choice.caption + L" (" +
                  std::to_wstring(choice.value) + L")\n";
    }
    return true;
}

const OfferedProperty* CAnsweringPropertyView::Find(int32_t id) const {
    for (const OfferedProperty& property : m_offered) {
        if (property.id == id) return &property;
    }
    return nullptr;
}

void CAnsweringPropertyView::AddTextProperty(int32_t id, bool, const wchar_t* caption, const wchar_t* text) {
    m_offered.push_back({id, false, caption ? caption : L"", text ? text : L"", {}, 0});
}

bool CAnsweringPropertyView::AddComboProperty(int32_t id, bool, const wchar_t* caption,
                                              Plugin::IEnumerator<Plugin::IComboItem*>* choices, int32_t selected) {
    m_offered.push_back({id, true, caption ? caption : L"", L"", ReadOfferedChoices(choices), selected});
    return true;
}

bool CAnsweringPropertyView::GetTextValue(int32_t id, BSTR* text) {
    auto answer = m_textAnswers.find(id);
    if (answer == m_textAnswers.end() || !text) return false;
    *text = SysAllocString(answer->second.c_str());
    if (!*text) throw std::bad_alloc();
    return true;
}

bool CAnsweringPropertyView::GetComboValue(int32_t id, int32_t* value) {
    auto answer = m_choiceAnswers.find(id);
    if (answer == m_choiceAnswers.end() || !value) return false;
    *value = answer->second;
    return true;
}

bool ResolveEdits(const std::vector<SetRequest>& requests, CAnsweringPropertyView& view, std::wstring& errors) {
    CAnsweringPropertyView checked = view;
    errors.clear();
    for (const SetRequest& request : requests) {
        std::wstring error;
        if (!Resolve(request, checked, error)) errors += (errors.empty() ? L"" : L"\n") + error;
    }
    if (!errors.empty()) return false;
    view = std::move(checked);
    return true;
}

}  // namespace DevHost
