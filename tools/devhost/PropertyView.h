#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>
#include "plugin_api/HostInterfaces.h"

namespace DevHost {

struct SetRequest {
    int32_t id;
    std::wstring name;
    std::wstring value;
};

// Parses every argument or none: on the first bad one returns false with a
// message in error. A name is the short one (port, baud, ...) or the stored
// key, in any case. A property named twice is refused, since one of the two
// values would be dropped silently.
bool ParseSetArguments(const std::vector<std::wstring>& arguments, std::vector<SetRequest>& requests,
                       std::wstring& error);

// The short name of the property with this id, or the id as a number.
std::wstring NameOfProperty(int32_t id);

struct Choice {
    int32_t value;
    std::wstring caption;
};

// One entry of the property list as the plug-in offered it in FillView.
struct OfferedProperty {
    enum class Kind { Group, Text, Choice } kind;
    int32_t id;  // none for a group
    std::wstring caption;
    std::wstring text;
    std::vector<Choice> choices;
    int32_t selected;
    std::optional<int32_t> answer;  // given to ApplyView; without one the plug-in keeps its value

    // A stored value that none of the choices holds, as devhost shows it in
    // place of the plug-in's selection: "COM9 (not present)" for a port this
    // machine lacks (the plug-in then selects the first port found, but opens
    // COM9), "31337 (not among the choices)" for another setting. Empty when
    // the stored value is one of the choices.
    std::wstring Unoffered(const std::wstring& storedPort) const;
};

// The host's view of the property list: remembers what FillView offers,
// then answers ApplyView with the edits it was given.
class CPropertyView final : public IPropertyListView {
public:
    const std::vector<OfferedProperty>& Offered() const { return m_offered; }

    // Checks every requested value against what the plug-in offered and, only
    // when all are valid, takes them as the answers. Otherwise false with one
    // line per refused value, naming the valid choices. A value is a choice's
    // caption (ignoring case), an English name of the value (parity and flow:
    // none, odd, even, mark, space; none, hardware, xonxoff), or its value as
    // a number; a caption wins over a number, so stop=1 is the caption "1",
    // not value 1. The wait time is whole seconds, 0 or more.
    bool Edit(const std::vector<SetRequest>& requests, std::wstring& errors);

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
    OfferedProperty* Find(int32_t id);

    std::vector<OfferedProperty> m_offered;
};

}  // namespace DevHost
