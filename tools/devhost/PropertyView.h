#pragma once
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>
#include "plugin_api/HostInterfaces.h"
#include "plugin_api/IDevImportPlugin.h"

namespace DevHost {

// The value asked for each property, by its id.
using Edits = std::map<int32_t, std::wstring>;

// All arguments or none, each named by its short name or stored key in any
// case; a property named twice is refused, as one value would be dropped.
bool ParseSetArguments(const std::vector<std::wstring>& arguments, Edits& edits, std::wstring& error);

// The short name of the property with this id, or the id as a number.
std::wstring NameOfProperty(int32_t id);

struct Choice {
    int32_t value;
    std::wstring caption;
};

struct OfferedProperty {
    enum class Kind { Group, Text, Choice } kind;
    int32_t id;  // none for a group
    std::wstring caption;
    std::wstring text;
    std::vector<Choice> choices;
    int32_t selected;
    std::optional<int32_t> answer;  // given to ApplyView; without one the plug-in keeps its value

    // The stored value, when no choice holds it, said as such: "COM9 (not
    // present)" for a port this machine lacks (the plug-in then selects the
    // first port found, but opens COM9), "31337 (not among the choices)".
    std::wstring Unoffered(const std::wstring& storedPort) const;
};

// The host's view of the property list: remembers what FillView offers,
// then answers ApplyView with the edits it was given.
class CPropertyView final : public IPropertyListView {
public:
    const std::vector<OfferedProperty>& Offered() const { return m_offered; }
    // The port choices' captions: the ports the plug-in takes for present.
    std::vector<std::wstring> Ports() const;

    // Takes the edits as the answers only when the plug-in offers every value;
    // otherwise false with one line per refused value, naming the choices. A
    // value is a choice's caption (ignoring case), its English name or its
    // number; a caption wins, so stop=1 is the caption "1", not value 1.
    bool Edit(const Edits& edits, std::wstring& errors);

    void AddGroup(const wchar_t* caption) override;
    void AddTextProperty(int32_t id, bool flag, const wchar_t* caption, const wchar_t* text) override;
    // Copies the choices: the enumerator and its items live only during the call.
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

// The ports the plug-in's list offers now, as the application's dialog would show them.
std::vector<std::wstring> PortsOffered(Plugin::IDevImportPlugin& plugin);

}  // namespace DevHost
