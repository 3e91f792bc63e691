#include "PropertyView.h"
#include <windows.h>
#include <new>
#include "SettingsFile.h"
#include "plugin_api/IComboItem.h"
#include "plugin_api/IEnumerator.h"
#include "plugin_api/SharedConstants.h"
#include "win32/UniqueBstr.h"

namespace DevHost {
namespace {

// The name by which a user edits one of the plug-in's properties on the
// command line; the key under which the plug-in stores it is a name too.
struct PropertyName {
    Shared::StoredSetting setting;
    const wchar_t* name;
};

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

const PropertyName* FindPropertyName(std::wstring_view name) {
    for (const PropertyName& entry : kNames) {
        if (EqualsIgnoringCase(name, entry.name) || EqualsIgnoringCase(name, entry.setting.key)) return &entry;
    }
    return nullptr;
}

std::wstring ListPropertyNames() {
    std::wstring list;
    for (const PropertyName& entry : kNames) list += (list.empty() ? L"" : L", ") + std::wstring(entry.name);
    return list;
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

std::wstring Text(const wchar_t* text) { return text ? text : L""; }

bool Resolve(const SetRequest& request, CPropertyView& view, std::wstring& error) {
    const OfferedProperty* property = view.Find(request.id);
    if (!property) {
        error = L"the plug-in offers no " + request.name + L" setting";
        return false;
    }
    int32_t value = 0;
    if (property->kind == OfferedProperty::Kind::Text) {
        if (!ParseInt32(request.value, value) || value < 0) {
            error = request.name + L"=" + request.value + L" is not a whole number of seconds (0 or more)";
            return false;
        }
        view.AnswerText(request.id, std::to_wstring(value));
        return true;
    }
    if (!MatchChoice(request.id, property->choices, request.value, value)) {
        error = request.name + L"=" + request.value + L" is not among the choices: " +
                DescribeChoices(request.id, property->choices);
        return false;
    }
    view.AnswerChoice(request.id, value);
    return true;
}

}  // namespace

bool ParseSetArguments(const std::vector<std::wstring>& arguments, std::vector<SetRequest>& requests,
                       std::wstring& error) {
    std::vector<SetRequest> parsed;
    for (const std::wstring& argument : arguments) {
        size_t equals = argument.find(L'=');
        if (equals == std::wstring::npos || equals == 0) {
            error = L"\"" + argument + L"\" is not name=value";
            return false;
        }
        std::wstring name = argument.substr(0, equals);
        std::wstring value = argument.substr(equals + 1);
        const PropertyName* property = FindPropertyName(name);
        if (!property) {
            error = L"unknown setting \"" + name + L"\"; the settings are: " + ListPropertyNames();
            return false;
        }
        if (value.empty()) {
            error = L"no value given for " + std::wstring(property->name);
            return false;
        }
        for (const SetRequest& earlier : parsed) {
            if (earlier.id == property->setting.propertyId) {
                error = std::wstring(property->name) + L" is given twice";
                return false;
            }
        }
        parsed.push_back({property->setting.propertyId, property->name, value});
    }
    if (parsed.empty()) {
        error = L"nothing to set; give name=value pairs, e.g. port=COM5 baud=115200";
        return false;
    }
    requests = std::move(parsed);
    return true;
}

std::wstring NameOfProperty(int32_t id) {
    for (const PropertyName& entry : kNames) {
        if (entry.setting.propertyId == id) return entry.name;
    }
    return std::to_wstring(id);
}

std::wstring UnofferedSelection(int32_t propertyId, const std::vector<Choice>& choices, int32_t selected,
                                const std::wstring& storedPort) {
    const bool isPort = propertyId == Shared::kPort.propertyId;
    for (const Choice& choice : choices) {
        if (isPort ? choice.caption == storedPort : choice.value == selected) return L"";
    }
    return isPort ? storedPort + L" (not present)" : std::to_wstring(selected) + L" (not among the choices)";
}

const OfferedProperty* CPropertyView::Find(int32_t id) const {
    for (const OfferedProperty& property : m_offered) {
        if (property.kind != OfferedProperty::Kind::Group && property.id == id) return &property;
    }
    return nullptr;
}

void CPropertyView::AddGroup(const wchar_t* caption) {
    m_offered.push_back({OfferedProperty::Kind::Group, -1, Text(caption), L"", {}, 0});
}

void CPropertyView::AddTextProperty(int32_t id, bool, const wchar_t* caption, const wchar_t* text) {
    m_offered.push_back({OfferedProperty::Kind::Text, id, Text(caption), Text(text), {}, 0});
}

bool CPropertyView::AddComboProperty(int32_t id, bool, const wchar_t* caption,
                                     Plugin::IEnumerator<Plugin::IComboItem*>* choices, int32_t selected) {
    std::vector<Choice> offered;
    for (; choices && choices->HasCurrent(); choices->MoveNext()) {
        Plugin::IComboItem* item = choices->GetCurrent();
        if (!item) continue;
        const Win32::CUniqueBstr itemCaption(item->GetCaption());
        offered.push_back({item->GetValue(), itemCaption.Text()});
    }
    m_offered.push_back({OfferedProperty::Kind::Choice, id, Text(caption), L"", std::move(offered), selected});
    return true;
}

bool CPropertyView::GetTextValue(int32_t id, BSTR* text) {
    const auto answer = m_textAnswers.find(id);
    if (answer == m_textAnswers.end() || !text) return false;
    *text = SysAllocString(answer->second.c_str());
    if (!*text) throw std::bad_alloc();
    return true;
}

bool CPropertyView::GetComboValue(int32_t id, int32_t* value) {
    const auto answer = m_choiceAnswers.find(id);
    if (answer == m_choiceAnswers.end() || !value) return false;
    *value = answer->second;
    return true;
}

std::wstring ShowProperties(const std::vector<OfferedProperty>& offered, const std::wstring& storedPort) {
    std::wstring text;
    for (const OfferedProperty& property : offered) {
        if (property.kind == OfferedProperty::Kind::Group) {
            text += property.caption + L"\n";
            continue;
        }
        text += L"  " + property.caption + L" [" + NameOfProperty(property.id) + L"]";
        if (property.kind == OfferedProperty::Kind::Text) {
            text += L": " + property.text + L"\n";
            continue;
        }
        text += L"\n";
        const std::wstring unoffered =
            UnofferedSelection(property.id, property.choices, property.selected, storedPort);
        if (!unoffered.empty()) text += L"    * " + unoffered + L"\n";
        if (property.choices.empty()) text += L"      (no choices)\n";
        for (const Choice& choice : property.choices) {
            text += (unoffered.empty() && choice.value == property.selected ? L"    * " : L"      ") +
                    choice.caption + L" (" + std::to_wstring(choice.value) + L")\n";
        }
    }
    return text;
}

bool ResolveEdits(const std::vector<SetRequest>& requests, CPropertyView& view, std::wstring& errors) {
    CPropertyView checked = view;
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
