#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>
#include "CommandLine.h"
#include "plugin_api/HostInterfaces.h"
#include "plugin_api/IComboItem.h"
#include "plugin_api/IEnumerator.h"
#include "plugin_api/SharedConstants.h"

namespace DevHost {

// The name by which a user edits one of the plug-in's properties on the
// command line; the key under which the plug-in stores it is a name too.
struct PropertyName {
    Shared::StoredSetting setting;
    const wchar_t* name;
};

// Case-insensitive; null when nothing is called so.
const PropertyName* FindPropertyName(std::wstring_view name);
// The short name of the property with this id, or the id as a number.
std::wstring NameOfProperty(int32_t id);
// "port, baud, ..." for messages.
std::wstring ListPropertyNames();

// One item of a drop-down property as the plug-in offered it.
struct Choice {
    int32_t value;
    std::wstring caption;
};

// Copies the items the plug-in offers for one drop-down; the enumerator and
// its items are valid only during AddComboProperty, so nothing is kept.
std::vector<Choice> ReadOfferedChoices(Plugin::IEnumerator<Plugin::IComboItem*>* choices);

// A stored value that none of the choices holds, as devhost shows it in
// place of the plug-in's selection: "COM9 (not present)" for a port this
// machine lacks (the plug-in then selects the first port found, but opens
// COM9), "31337 (not among the choices)" for another setting. Empty when
// the stored value is one of the choices.
std::wstring UnofferedSelection(int32_t propertyId, const std::vector<Choice>& choices, int32_t selected,
                                const std::wstring& storedPort);

// Finds the choice that text names, trying in turn: its caption (ignoring
// case), an English name of the value (parity and flow: none, odd, even,
// mark, space; none, hardware, xonxoff), and its value as a number. A
// caption wins over a number, so stop=1 is the caption "1", not value 1.
bool MatchChoice(int32_t propertyId, const std::vector<Choice>& choices, std::wstring_view text, int32_t& value);

// The valid choices for a message: "Нет (none), Нечет (odd), ...".
std::wstring DescribeChoices(int32_t propertyId, const std::vector<Choice>& choices);

// The wait time: a whole number of seconds, 0 or more.
bool ParseWaitTime(std::wstring_view text, int32_t& seconds);

// Shows the property list as text, the way the application draws it: group
// headings, each property with the name `devhost set` knows it by, and every
// choice with its value, the selected one marked with *.
// A stored value that is not among the choices shows as the selection,
// said as such, rather than the plug-in's stand-in.
class CConsolePropertyView final : public IPropertyListView {
public:
    explicit CConsolePropertyView(std::wstring storedPort) : m_storedPort(std::move(storedPort)) {}
    const std::wstring& Text() const { return m_text; }

    void AddGroup(const wchar_t* caption) override;
    void AddTextProperty(int32_t id, bool flag, const wchar_t* caption, const wchar_t* text) override;
    bool AddComboProperty(int32_t id, bool flag, const wchar_t* caption,
                          Plugin::IEnumerator<Plugin::IComboItem*>* choices, int32_t selected) override;
    void HostSlot4() override {}
    // Only shows; nothing is edited here.
    bool GetTextValue(int32_t, BSTR*) override { return false; }
    void HostSlot6() override {}
    bool GetComboValue(int32_t, int32_t*) override { return false; }

private:
    const std::wstring m_storedPort;
    std::wstring m_text;
};

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

// Checks every requested value against what the plug-in offered in the view
// and, only when all are valid, gives the view its answers. Otherwise
// returns false with one line per refused value, naming the valid choices.
bool ResolveEdits(const std::vector<SetRequest>& requests, CAnsweringPropertyView& view, std::wstring& errors);

}  // namespace DevHost
