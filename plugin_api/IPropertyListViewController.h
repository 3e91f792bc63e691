#pragma once
#include "plugin_api/HostInterfaces.h"

namespace Plugin {

// Lets the host's property list show and edit the settings. Not
// reference-counted: it lives exactly as long as the plug-in object. How the
// host calls it: docs/integrating.md.
class IPropertyListViewController {
public:
    virtual void FillView(IPropertyListView* view) = 0;
    virtual bool FirstQuery() = 0;
    virtual bool SecondQuery() = 0;
    // True when the wait time, the last value read back, was stored.
    virtual bool ApplyView() = 0;
    virtual void LastNotice() = 0;

protected:
    ~IPropertyListViewController() = default;
};

}  // namespace Plugin
