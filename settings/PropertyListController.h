#pragma once
#include <cstdint>
#include "plugin_api/HostInterfaces.h"
#include "plugin_api/IPropertyListViewController.h"
#include "settings/PortProbe.h"
#include "settings/SharedSettings.h"
#include "settings/SettingsTables.h"

namespace Settings {

// The settings as the host's property list shows and edits them: two
// groups, the wait time and six drop-downs, the ports among them as the
// system names them. Lives exactly as long as the plug-in object, which
// hands it to the host without a reference.
class CPropertyListController final : public Plugin::IPropertyListViewController {
public:
    // Raises the standard allocation failure while filling the lists.
    CPropertyListController(const DescriptorTable& descriptors, CSharedSettings& settings, IPortSystem& ports);
    CPropertyListController(const CPropertyListController&) = delete;
    CPropertyListController& operator=(const CPropertyListController&) = delete;
    ~CPropertyListController() = default;

    void FillView(IPropertyListView* view) override;
    bool FirstQuery() override { return true; }
    bool SecondQuery() override { return true; }
    // Takes every value the view delivers, or, when memory runs out, none.
    bool ApplyView() override;
    void LastNotice() override {}

private:
    void Fill(IPropertyListView& view);
    void AddComboSetting(IPropertyListView& view, const SettingDescriptor& descriptor, const PortSettings& shown);
    int32_t SelectedPort(const Plugin::WideString& configured) const;
    bool ApplySetting(SettingId id, PortSettings& edited) const;

    const DescriptorTable& m_descriptors;
    CSharedSettings& m_settings;
    IPortSystem& m_ports;
    IPropertyListView* m_view = nullptr;

    OptionList m_portList;
    OptionList m_baudRateList;
    OptionList m_dataBitsList;
    OptionList m_parityList;
    OptionList m_stopBitsList;
    OptionList m_flowControlList;
};

}  // namespace Settings
