#pragma once
#include <windows.h>
#include "plugin_api/WideString.h"
#include "settings/SettingsTables.h"

namespace Settings {

// What the machine answers when a port is looked for. The probe logic talks
// to the system only through this, so busy and refused ports, which a test
// machine cannot produce at will, can be fed to it.
class PortSystem {
public:
    struct OpenResult {
        bool opened;
        DWORD error;  // GetLastError of a failed open
    };

    // False only when the name is certainly not in the device namespace, so
    // that opening it cannot succeed.
    virtual bool MayExist(const wchar_t* name) = 0;
    // One exclusive open of the device path, closed again at once.
    virtual OpenResult TryOpen(const wchar_t* devicePath) = 0;

protected:
    ~PortSystem() = default;
};

// The machine's own answers, from QueryDosDeviceW and CreateFileW.
PortSystem& Win32Ports();

// Empties the list and fills it with COM1 to COM255 as far as they are
// present: openable, busy or failing, or refused when the name is the
// configured port (held by another program, or by our own exchange).
void ProbePorts(PortSystem& system, const Plugin::WideString& configuredPort, OptionList& ports);

}  // namespace Settings
