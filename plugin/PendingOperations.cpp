#include "DeviceCommonPlugin.h"

// Operations whose slots stand in the table already; built by later work.
bool CDeviceCommonPlugin::QueueTransferRequest(ITransferRequest*) { return false; }
