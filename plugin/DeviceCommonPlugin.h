#pragma once
#include <windows.h>
#include "plugin_api/IDevImportPlugin.h"
#include "plugin_api/PluginImpl.h"
#include "serial/ExchangeControl.h"
#include "settings/PortProbe.h"
#include "settings/SharedSettings.h"
#include "settings/PropertyListController.h"
#include "settings/SettingsTables.h"

namespace Plugin {

// The plug-in object that CreatePlugin hands the host. No exception leaves
// any of its slots: each answers its failure instead, and leaves the object
// as it was where the operation could not complete.
class CDeviceCommonPlugin : public Plugin::CPluginImpl<Plugin::IDevImportPlugin> {
public:
    // A new object carrying one reference, the caller's; ports names the
    // machine's ports for the property list and for the trace of a port
    // that is not there, so it outlives every worker (the machine's own is
    // static); serial makes the exchange's calls on its device. Raises the
    // standard allocation failure, also when the system has no events to
    // give.
    static CDeviceCommonPlugin* Create(Settings::IPortSystem& ports, const Serial::SerialApi& serial = Serial::SerialApi::System());

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

private:
    CDeviceCommonPlugin(Settings::IPortSystem& ports, const Serial::SerialApi& serial);
    ~CDeviceCommonPlugin() override = default;

    Settings::IPortSystem& m_ports;
    Settings::DescriptorTable m_descriptors;
    Settings::CSharedSettings m_settings;
    Settings::CPropertyListController m_controller;
    // Last, so it goes first: from then on nothing reaches the host.
    Serial::CExchangeControl m_exchange;
};

}  // namespace Plugin
