#include "DeviceCommonPlugin.h"

// Operations whose slots stand in the table already; built by later work.
bool CDeviceCommonPlugin::StartExchange() { return false; }
bool CDeviceCommonPlugin::StopExchange() { return !m_port.IsOpen(); }
bool CDeviceCommonPlugin::QueueTransferRequest(ITransferRequest*) { return false; }
