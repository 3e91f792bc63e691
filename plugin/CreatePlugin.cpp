#include "CreatePlugin.h"
#include "DeviceCommonPlugin.h"

// The module's only export. The new object carries one reference, the host's.
// If construction fails, the members built so far are destroyed and the
// exception reaches the caller.
extern "C" Plugin::IDevImportPlugin* CreatePlugin() {
    Plugin::IDevImportPlugin* plugin = new CDeviceCommonPlugin();
    plugin->AddRef();
    return plugin;
}
