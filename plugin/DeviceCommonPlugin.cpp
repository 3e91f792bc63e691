#include "DeviceCommonPlugin.h"
#include "PluginIdentity.h"
#include "../serial/Transmit.h"

CDeviceCommonPlugin::CDeviceCommonPlugin() : CDeviceCommonPlugin(Settings::Win32Ports()) {}

CDeviceCommonPlugin::CDeviceCommonPlugin(Settings::PortSystem& ports) : m_ports(ports) {
    Settings::FillDescriptors(m_descriptors);
    Settings::FillBaudRates(m_baudRateList);
    Settings::FillDataBits(m_dataBitsList);
    Settings::FillParities(m_parityList);
    Settings::FillStopBits(m_stopBitsList);
    Settings::FillFlowControls(m_flowControlList);
}

CDeviceCommonPlugin::~CDeviceCommonPlugin() = default;

Plugin::IPlugin* CDeviceCommonPlugin::GetInterface(int kind) {
    if (kind != 0 && kind != 4) return nullptr;
    AddRef();
    return this;
}

BSTR CDeviceCommonPlugin::GetName() { return Plugin::AllocBstrOrThrow(kDeviceCommonPluginName); }

#if PLUGIN_EXPLICIT_STRUCT_RETURN
GUID* CDeviceCommonPlugin::GetId(GUID* result) {
    *result = kDeviceCommonPluginId;
    return result;
}
#else
GUID CDeviceCommonPlugin::GetId() { return kDeviceCommonPluginId; }
#endif

int CDeviceCommonPlugin::GetPluginValue() { return 1; }

Plugin::IPropertyListViewController* CDeviceCommonPlugin::GetPropertyListController() { return this; }

bool CDeviceCommonPlugin::SetEventSink(IDeviceEventSink* sink) {
    m_sink = sink;
    return true;
}

bool CDeviceCommonPlugin::StartExchange() { return m_exchange.StartExchange(); }
bool CDeviceCommonPlugin::StopExchange() { return m_exchange.StopExchange(); }

bool CDeviceCommonPlugin::QueueTransferRequest(ITransferRequest* request) {
    if (!request || request->GetKind() != Transmit::kRequestKind) return false;
    m_requests.Append(request);
    m_exchange.Wake();
    return true;
}

bool CDeviceCommonPlugin::FirstQuery() { return true; }
bool CDeviceCommonPlugin::SecondQuery() { return true; }
void CDeviceCommonPlugin::LastNotice() {}
