#pragma once
#include "plugin_api/IDevImportPlugin.h"

namespace DevHost {

// While it lives, Ctrl+C asks the plug-in to stop its exchange instead of
// ending devhost, so the port is closed and EventStopped still comes. A
// second Ctrl+C ends devhost at once, for a plug-in that does not stop.
class CCtrlCStop {
public:
    // announce: say on stderr that the exchange is stopping; a host that
    // draws the console itself says so in its own place.
    explicit CCtrlCStop(Plugin::IDevImportPlugin& plugin, bool announce = true);
    ~CCtrlCStop();
    CCtrlCStop(const CCtrlCStop&) = delete;
    CCtrlCStop& operator=(const CCtrlCStop&) = delete;

    // Whether Ctrl+C came, so a host that would go on knows to end.
    bool StopAsked() const;
};

}  // namespace DevHost
