#include "plugin/DeviceCommonPlugin.h"
#include "plugin/PluginIdentity.h"
#include "plugin_api/HostBoundary.h"
#include "settings/SettingsPersistence.h"
#include "win32/DevicePath.h"

namespace Plugin {

namespace {

Settings::DescriptorTable Descriptors() {
    Settings::DescriptorTable table;
    Settings::FillDescriptors(table);
    return table;
}

// "COM1, COM5, COM6", as the property list offers them.
Plugin::WideString PortsPresent(Settings::IPortSystem& ports) {
    Settings::OptionList found;
    Settings::ListPorts(ports, found);
    Plugin::WideString names;
    for (const auto& [number, name] : found) names += (names.empty() ? L"" : L", ") + name;
    return names;
}

}  // namespace

CDeviceCommonPlugin* CDeviceCommonPlugin::Create(Settings::IPortSystem& ports, const Serial::SerialApi& serial) {
    auto* plugin = new CDeviceCommonPlugin(ports, serial);
    plugin->AddRef();
    return plugin;
}

CDeviceCommonPlugin::CDeviceCommonPlugin(Settings::IPortSystem& ports, const Serial::SerialApi& serial)
    : m_ports(ports), m_descriptors(Descriptors()), m_controller(m_descriptors, m_settings, ports), m_exchange(serial) {}

Plugin::IPlugin* CDeviceCommonPlugin::GetInterface(int kind) {
    if (kind != 0 && kind != 4) return nullptr;
    AddRef();
    return this;
}

// Null when the system has no memory for it.
BSTR CDeviceCommonPlugin::GetName() { return SysAllocString(kDeviceCommonPluginName); }

#if PLUGIN_EXPLICIT_STRUCT_RETURN
GUID* CDeviceCommonPlugin::GetId(GUID* result) {
    *result = kDeviceCommonPluginId;
    return result;
}
#else
GUID CDeviceCommonPlugin::GetId() { return kDeviceCommonPluginId; }
#endif

int CDeviceCommonPlugin::GetPluginValue() { return 1; }

// All or nothing: settings that cannot be read whole keep the earlier ones.
void CDeviceCommonPlugin::LoadSettings(ISettingsReader* reader) {
    Plugin::AnswerNothing([&] {
        Settings::PortSettings loaded;
        Settings::LoadPortSettings(*reader, m_descriptors, loaded);
        m_settings.Replace(std::move(loaded));
    });
}

void CDeviceCommonPlugin::SaveSettings(ISettingsWriter* writer) {
    Plugin::AnswerNothing([&] { Settings::SavePortSettings(*writer, m_descriptors, m_settings.Copy()); });
}

Plugin::IPropertyListViewController* CDeviceCommonPlugin::GetPropertyListController() { return &m_controller; }

bool CDeviceCommonPlugin::SetEventSink(IDeviceEventSink* sink) {
    m_exchange.SetSink(sink);
    return true;
}

bool CDeviceCommonPlugin::StartExchange() {
    return Plugin::AnswerOr(false, [&] {
        // The worker may start the next exchange while the host edits.
        const Settings::PortSettings settings = m_settings.Copy();
        Serial::Exchange::Target target{Win32::DevicePathFor(settings.portName.c_str()), settings.line, settings.waitTime,
                                        [&ports = m_ports] { return PortsPresent(ports); }};
        return m_exchange.StartExchange(std::move(target));
    });
}

bool CDeviceCommonPlugin::StopExchange() { return m_exchange.StopExchange(); }

bool CDeviceCommonPlugin::QueueTransferRequest(ITransferRequest* request) {
    if (!request || request->GetKind() != kSendBytesRequestKind) return false;
    return Plugin::AnswerOr(false, [&] {
        m_exchange.Queue(request);
        return true;
    });
}

}  // namespace Plugin
