#pragma once
#include <string_view>
#include "settings/SettingsTables.h"

namespace Settings {

// Where the machine names its serial ports. None is complete alone: the
// device map can be absent or keep a stale entry, SetupAPI's Ports class
// misses the Modem-class ports, and the device namespace holds only what a
// driver linked there. Tests feed each source's answer through this.
class IPortSystem {
public:
    enum class Source {
        DeviceMap,        // HKLM\HARDWARE\DEVICEMAP\SERIALCOMM
        DeviceNamespace,  // the MS-DOS device names
        PortsClass,       // SetupAPI, present devices of GUID_DEVCLASS_PORTS
        ModemClass,       // SetupAPI, present devices of GUID_DEVCLASS_MODEM
    };

    class INames {
    public:
        virtual void Add(std::wstring_view name) = 0;

    protected:
        ~INames() = default;
    };

    // Adds every name the source gives, spelled as it gives them, ports or
    // not; a source that fails adds nothing further. Never opens a device:
    // an outgoing Bluetooth port connects inside its open, for seconds.
    virtual void Read(Source source, INames& names) = 0;

protected:
    ~IPortSystem() = default;
};

// The machine's own answers.
IPortSystem& Win32Ports();

// Empties the list and fills it with the ports COM1 to COM255 that any
// source names, each once, whether or not it would open now.
void ListPorts(IPortSystem& system, OptionList& ports);

}  // namespace Settings
