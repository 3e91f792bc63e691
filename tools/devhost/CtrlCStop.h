#pragma once
#include "plugin_api/IDevImportPlugin.h"

namespace DevHost {

// While it lives, Ctrl+C asks the plug-in to stop its exchange instead of
// ending devhost, so the port is closed and EventStopped still comes. A
// second Ctrl+C ends devhost at once, for a plug-in that does not stop.
class CCtrlCStop {
public:
    explicit CCtrlCStop(Plugin::IDevImportPlugin& plugin);
    ~CCtrlCStop();
    CCtrlCStop(const CCtrlCStop&) = delete;
    CCtrlCStop& operator=(const CCtrlCStop&) = delete;

    // Whether Ctrl+C came: the host says so on its screen, and ends.
    bool StopAsked() const;
};

}  // namespace DevHost
