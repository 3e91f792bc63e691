#pragma once
#include <string>
#include "plugin_api/HostInterfaces.h"

namespace DevHost {

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

}  // namespace DevHost
