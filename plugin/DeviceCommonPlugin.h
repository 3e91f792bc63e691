#pragma once
#include <windows.h>
#include <atomic>
#include <cstdint>
#include "../plugin_api/IDevImportPlugin.h"
#include "../plugin_api/IPropertyListViewController.h"
#include "../plugin_api/PluginImpl.h"
#include "../serial/ExchangeControl.h"
#include "../serial/RequestQueue.h"
#include "../settings/PortProbe.h"
#include "../settings/PortSettings.h"
#include "../settings/SettingsTables.h"

// The plug-in object that CreatePlugin hands the host: its own address is the
// IDevImportPlugin table, the controller part is a second sub-object.
class CDeviceCommonPlugin : public Plugin::CPluginImpl<Plugin::IDevImportPlugin>,
                            public Plugin::IPropertyListViewController {
public:
    CDeviceCommonPlugin();
    // ports answers the port probe of the property list.
    explicit CDeviceCommonPlugin(Settings::PortSystem& ports);

    // IPlugin
    Plugin::IPlugin* GetInterface(int kind) override;
    BSTR GetName() override;
#if PLUGIN_EXPLICIT_STRUCT_RETURN
    GUID* GetId(GUID* result) override;
#else
    GUID GetId() override;
#endif
    int GetPluginValue() override;

    // IDevImportPlugin
    void LoadSettings(ISettingsReader* reader) override;
    void SaveSettings(ISettingsWriter* writer) override;
    Plugin::IPropertyListViewController* GetPropertyListController() override;
    bool SetEventSink(IDeviceEventSink* sink) override;
    bool StartExchange() override;
    bool StopExchange() override;
    bool QueueTransferRequest(ITransferRequest* request) override;

    // IPropertyListViewController
    void FillView(IPropertyListView* view) override;
    bool FirstQuery() override;
    bool SecondQuery() override;
    bool ApplyView() override;
    void LastNotice() override;

private:
    ~CDeviceCommonPlugin() override;

    // Steps of the property list controller.
    void AddComboSetting(const Settings::SettingDescriptor& descriptor);
    void RefreshPortList();
    int32_t SelectedPort() const;
    bool ApplySetting(Settings::SettingId id);

    IPropertyListView* m_view = nullptr;
    std::atomic<IDeviceEventSink*> m_sink{nullptr};

    Settings::DescriptorTable m_descriptors;
    Settings::OptionList m_portList;
    Settings::OptionList m_baudRateList;
    Settings::OptionList m_dataBitsList;
    Settings::OptionList m_parityList;
    Settings::OptionList m_stopBitsList;
    Settings::OptionList m_flowControlList;

    Settings::PortSettings m_settings;

    CRequestQueue m_requests;

    Settings::PortSystem& m_ports;

    // Last, so it is destroyed first: its destructor waits for a running
    // worker, which uses the members above.
    CExchangeControl m_exchange{m_sink, m_settings, m_requests};
};
