#include "plugin/CreatePlugin.h"
#include "plugin/DeviceCommonPlugin.h"
#include "plugin_api/HostBoundary.h"

// The module's only export. The new object carries one reference, the
// host's; null when it cannot be made (memory exhausted), with nothing left
// behind.
extern "C" Plugin::IDevImportPlugin* CreatePlugin() {
    return Plugin::AnswerOr<Plugin::IDevImportPlugin*>(
        nullptr, [] { return Plugin::CDeviceCommonPlugin::Create(Settings::Win32Ports()); });
}
