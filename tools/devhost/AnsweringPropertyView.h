#pragma once
#include <map>
#include <string>
#include <vector>
#include "ChoiceMatching.h"
#include "plugin_api/HostInterfaces.h"

namespace DevHost {

// One property as the plug-in offered it in FillView.
struct OfferedProperty {
    int32_t id;
    bool isChoice;
    std::wstring caption;
    std::wstring text;             // text properties
    std::vector<Choice> choices;   // drop-downs
    int32_t selected;
};

// The view behind `devhost set`: remembers what FillView offers, then
// answers ApplyView with the values it was told to give. A property it has
// no answer for is declined, so the plug-in keeps that value.
class CAnsweringPropertyView final : public IPropertyListView {
public:
    const OfferedProperty* Find(int32_t id) const;
    const std::vector<OfferedProperty>& Offered() const { return m_offered; }

    void AnswerChoice(int32_t id, int32_t value) { m_choiceAnswers[id] = value; }
    void AnswerText(int32_t id, std::wstring text) { m_textAnswers[id] = std::move(text); }

    void AddGroup(const wchar_t*) override {}
    void AddTextProperty(int32_t id, bool flag, const wchar_t* caption, const wchar_t* text) override;
    bool AddComboProperty(int32_t id, bool flag, const wchar_t* caption,
                          Plugin::IEnumerator<Plugin::IComboItem*>* choices, int32_t selected) override;
    void HostSlot4() override {}
    bool GetTextValue(int32_t id, BSTR* text) override;
    void HostSlot6() override {}
    bool GetComboValue(int32_t id, int32_t* value) override;

private:
    std::vector<OfferedProperty> m_offered;
    std::map<int32_t, int32_t> m_choiceAnswers;
    std::map<int32_t, std::wstring> m_textAnswers;
};

}  // namespace DevHost
