#include "AnsweringPropertyView.h"
#include "OfferedChoices.h"
#include "plugin_api/HResultError.h"

namespace DevHost {

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
    *text = Plugin::AllocBstrOrThrow(answer->second.c_str());
    return true;
}

bool CAnsweringPropertyView::GetComboValue(int32_t id, int32_t* value) {
    auto answer = m_choiceAnswers.find(id);
    if (answer == m_choiceAnswers.end() || !value) return false;
    *value = answer->second;
    return true;
}

}  // namespace DevHost
