#include "PropertyView.h"
#include <windows.h>
#include <algorithm>
#include <iterator>
#include <new>
#include "SettingsFile.h"
#include "plugin_api/IComboItem.h"
#include "plugin_api/IEnumerator.h"
#include "plugin_api/IPropertyListViewController.h"
#include "plugin_api/SharedConstants.h"
#include "win32/UniqueBstr.h"

namespace DevHost {
namespace {

// The names by which a user edits the plug-in's properties on the command
// line (the stored key names one too), and the English names of the values
// 0, 1, ... where they have some: Win32's parity codes, the plug-in's flow modes.
struct PropertyName {
    Shared::StoredSetting setting;
    const wchar_t* name;
    const wchar_t* values[5];
};

static_assert(NOPARITY == 0 && ODDPARITY == 1 && EVENPARITY == 2 && MARKPARITY == 3 && SPACEPARITY == 4);
static_assert(Shared::kFlowNone == 0 && Shared::kFlowHardware == 1 && Shared::kFlowXonXoff == 2);

constexpr PropertyName kNames[] = {
    {Shared::kPort, L"port", {}},
    {Shared::kBaudRate, L"baud", {}},
    {Shared::kParity, L"parity", {L"none", L"odd", L"even", L"mark", L"space"}},
    {Shared::kDataBits, L"data", {}},
    {Shared::kStopBits, L"stop", {}},
    {Shared::kFlowControl, L"flow", {L"none", L"hardware", L"xonxoff"}},
    {Shared::kWaitTime, L"wait", {}},
};

// Also folds Cyrillic captions ("нет" = "Нет").
bool EqualsIgnoringCase(std::wstring_view a, std::wstring_view b) {
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

const PropertyName* FindName(int32_t id) {
    const auto found = std::find_if(std::begin(kNames), std::end(kNames),
                                    [&](const PropertyName& name) { return name.setting.propertyId == id; });
    return found == std::end(kNames) ? nullptr : found;
}

const wchar_t* EnglishName(int32_t id, int32_t value) {
    const PropertyName* names = FindName(id);
    return names && value >= 0 && value < 5 ? names->values[value] : nullptr;
}

// A caption first, then an English name or a number (no text is both).
const Choice* MatchChoice(int32_t id, const std::vector<Choice>& choices, std::wstring_view text) {
    int32_t number = 0;
    const bool isNumber = ParseInt32(text, number);
    const Choice* named = nullptr;
    for (const Choice& choice : choices) {
        if (EqualsIgnoringCase(choice.caption, text)) return &choice;
        const wchar_t* english = EnglishName(id, choice.value);
        if (!named && ((english && EqualsIgnoringCase(english, text)) || (isNumber && choice.value == number))) {
            named = &choice;
        }
    }
    return named;
}

std::wstring DescribeChoices(int32_t id, const std::vector<Choice>& choices) {
    std::wstring list;
    for (const Choice& choice : choices) {
        list += (list.empty() ? L"" : L", ") + choice.caption;
        if (const wchar_t* name = EnglishName(id, choice.value)) list += std::wstring(L" (") + name + L")";
    }
    return list.empty() ? L"(none offered)" : list;
}

std::wstring Text(const wchar_t* text) { return text ? text : L""; }

}  // namespace

bool ParseSetArguments(const std::vector<std::wstring>& arguments, Edits& edits, std::wstring& error) {
    Edits parsed;
    for (const std::wstring& argument : arguments) {
        const size_t equals = argument.find(L'=');
        const std::wstring name = argument.substr(0, equals);
        const PropertyName* property = nullptr;
        for (const PropertyName& entry : kNames) {
            if (EqualsIgnoringCase(name, entry.name) || EqualsIgnoringCase(name, entry.setting.key)) property = &entry;
        }
        if (equals == std::wstring::npos || equals == 0) {
            error = L"\"" + argument + L"\" is not name=value";
        } else if (!property) {
            error = L"unknown setting \"" + name + L"\"; the settings are: port, baud, parity, data, stop, flow, wait";
        } else if (equals + 1 == argument.size()) {
            error = L"no value given for " + std::wstring(property->name);
        } else if (!parsed.emplace(property->setting.propertyId, argument.substr(equals + 1)).second) {
            error = std::wstring(property->name) + L" is given twice";
        } else {
            continue;
        }
        return false;
    }
    if (parsed.empty()) {
        error = L"nothing to set; give name=value pairs, e.g. port=COM5 baud=115200";
        return false;
    }
    edits = std::move(parsed);
    return true;
}

std::wstring NameOfProperty(int32_t id) {
    const PropertyName* names = FindName(id);
    return names ? names->name : std::to_wstring(id);
}

std::wstring OfferedProperty::Unoffered(const std::wstring& storedPort) const {
    const bool isPort = id == Shared::kPort.propertyId;
    for (const Choice& choice : choices) {
        if (isPort ? choice.caption == storedPort : choice.value == selected) return L"";
    }
    return isPort ? storedPort + L" (not present)" : std::to_wstring(selected) + L" (not among the choices)";
}

std::vector<std::wstring> CPropertyView::Ports() const {
    std::vector<std::wstring> ports;
    for (const OfferedProperty& property : m_offered) {
        if (property.kind != OfferedProperty::Kind::Choice || property.id != Shared::kPort.propertyId) continue;
        for (const Choice& choice : property.choices) ports.push_back(choice.caption);
    }
    return ports;
}

std::vector<std::wstring> PortsOffered(Plugin::IDevImportPlugin& plugin) {
    CPropertyView view;
    plugin.GetPropertyListController()->FillView(&view);
    return view.Ports();
}

bool CPropertyView::Edit(const Edits& edits, std::wstring& errors) {
    std::vector<std::pair<OfferedProperty*, int32_t>> answers;
    errors.clear();
    const auto refuse = [&errors](const std::wstring& why) { errors += (errors.empty() ? L"" : L"\n") + why; };
    for (const auto& [id, text] : edits) {
        OfferedProperty* property = Find(id);
        const Choice* choice = property ? MatchChoice(id, property->choices, text) : nullptr;
        int32_t value = choice ? choice->value : 0;
        const std::wstring given = NameOfProperty(id) + L"=" + text;
        if (!property) {
            refuse(L"the plug-in offers no " + NameOfProperty(id) + L" setting");
        } else if (property->kind == OfferedProperty::Kind::Text) {
            if (!ParseInt32(text, value) || value < 0) refuse(given + L" is not a whole number of seconds (0 or more)");
        } else if (!choice) {
            refuse(given + L" is not among the choices: " + DescribeChoices(id, property->choices));
        }
        answers.emplace_back(property, value);
    }
    if (!errors.empty()) return false;
    for (const auto& [property, value] : answers) property->answer = value;
    return true;
}

OfferedProperty* CPropertyView::Find(int32_t id) {
    for (OfferedProperty& property : m_offered) {
        if (property.kind != OfferedProperty::Kind::Group && property.id == id) return &property;
    }
    return nullptr;
}

void CPropertyView::AddGroup(const wchar_t* caption) {
    m_offered.push_back({OfferedProperty::Kind::Group, -1, Text(caption), L"", {}, 0, {}});
}

void CPropertyView::AddTextProperty(int32_t id, bool, const wchar_t* caption, const wchar_t* text) {
    m_offered.push_back({OfferedProperty::Kind::Text, id, Text(caption), Text(text), {}, 0, {}});
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
    m_offered.push_back({OfferedProperty::Kind::Choice, id, Text(caption), L"", std::move(offered), selected, {}});
    return true;
}

bool CPropertyView::GetTextValue(int32_t id, BSTR* text) {
    const OfferedProperty* property = Find(id);
    if (!property || !property->answer || !text) return false;
    *text = SysAllocString(std::to_wstring(*property->answer).c_str());
    if (!*text) throw std::bad_alloc();
    return true;
}

bool CPropertyView::GetComboValue(int32_t id, int32_t* value) {
    const OfferedProperty* property = Find(id);
    if (!property || !property->answer || !value) return false;
    *value = *property->answer;
    return true;
}

}  // namespace DevHost
