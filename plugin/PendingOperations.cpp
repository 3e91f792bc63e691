#include "DeviceCommonPlugin.h"

// Operations whose slots stand in the table already; built by later work.
void CDeviceCommonPlugin::LoadSettings(ISettingsReader*) {}
void CDeviceCommonPlugin::SaveSettings(ISettingsWriter*) {}
bool CDeviceCommonPlugin::QueueTransferRequest(ITransferRequest*) { return false; }
void CDeviceCommonPlugin::FillView(IPropertyListView* view) { m_view = view; }
bool CDeviceCommonPlugin::ApplyView() { return false; }
