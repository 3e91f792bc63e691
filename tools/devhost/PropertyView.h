#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>
#include "CommandLine.h"
#include "PropertyNames.h"
#include "plugin_api/HostInterfaces.h"

namespace DevHost {

// One entry of the property list as the plug-in offered it in FillView.
struct OfferedProperty {
    enum class Kind { Group, Text, Choice } kind;
    int32_t id;  // none for a group
    std::wstring caption;
    std::wstring text;
    std::vector<Choice> choices;
    int32_t selected;
};

// The host's view of the property list: remembers what FillView offers,
// then answers ApplyView with the values it was given. A property it has no
// answer for is declined, so the plug-in keeps that value.
class CPropertyView final : public IPropertyListView {
public:
    const std::vector<OfferedProperty>& Offered() const { return m_offered; }
    const OfferedProperty* Find(int32_t id) const;

    void AnswerChoice(int32_t id, int32_t value) { m_choiceAnswers[id] = value; }
    void AnswerText(int32_t id, std::wstring text) { m_textAnswers[id] = std::move(text); }

    void AddGroup(const wchar_t* caption) override;
    void AddTextProperty(int32_t id, bool flag, const wchar_t* caption, const wchar_t* text) override;
    // The enumerator and its items are valid only during the call, so
    // their captions and values are copied.
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

// The list as the application draws it: group headings, each property with
// the name `devhost set` knows it by, every choice with its value, the
// selected one marked *; a stored value not among the choices shows as the
// selection, said as such, rather than the plug-in's stand-in.
std::wstring ShowProperties(const std::vector<OfferedProperty>& offered, const std::wstring& storedPort);

// Checks every requested value against what the plug-in offered and, only
// when all are valid, gives the view its answers. Otherwise false with one
// line per refused value, naming the valid choices.
bool ResolveEdits(const std::vector<SetRequest>& requests, CPropertyView& view, std::wstring& errors);

}  // namespace DevHost
