#include "PropertyView.h"
#include <windows.h>
#include <new>
#include "plugin_api/IComboItem.h"
#include "plugin_api/IEnumerator.h"
#include "win32/UniqueBstr.h"

namespace DevHost {
namespace {

std::wstring Text(const wchar_t* text) { return text ? text : L""; }

bool Resolve(const SetRequest& request, CPropertyView& view, std::wstring& error) {
    const OfferedProperty* property = view.Find(request.id);
    if (!property) {
        error = L"the plug-in offers no " + request.name + L" setting";
        return false;
    }
    int32_t value = 0;
    if (property->kind == OfferedProperty::Kind::Text) {
        if (!ParseWaitTime(request.value, value)) {
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
        const Win32::UniqueBstr itemCaption(item->GetCaption());
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
