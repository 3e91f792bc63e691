#pragma once
#include "plugin_api/HostInterfaces.h"
#include "plugin_api/IPlugin.h"

namespace Plugin {

class IPropertyListViewController;

// The plug-in's main table. The host calls it by slot: the order is frozen.
// The calling order and every rule a host can rely on: docs/integrating.md.
class IDevImportPlugin : public IPlugin {
public:
    virtual void LoadSettings(ISettingsReader* reader) = 0;
    virtual void SaveSettings(ISettingsWriter* writer) = 0;
    // The object's own controller part; no reference is added.
    virtual IPropertyListViewController* GetPropertyListController() = 0;
    virtual bool SetEventSink(IDeviceEventSink* sink) = 0;
    virtual bool StartExchange() = 0;
    // True when no exchange held the port at the call; never waits.
    virtual bool StopExchange() = 0;
    virtual bool QueueTransferRequest(ITransferRequest* request) = 0;

protected:
    ~IDevImportPlugin() = default;
};

}  // namespace Plugin
