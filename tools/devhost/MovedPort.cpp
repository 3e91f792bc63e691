#include "MovedPort.h"
#include <algorithm>
#include <cwchar>
#include "DeviceIds.h"

namespace DevHost {
namespace {

DeviceIds IdsOf(const PortDevice& device) { return ReadIds(device.instanceId, device.hardwareId, device.parentId); }

// Windows cannot tell apart adapters of one kind without serial numbers of their own, nor incoming Bluetooth ports.
bool MayBeTheOne(const DeviceIds& held, const DeviceIds& other) {
    using Bus = DeviceIds::Bus;
    if (held.bus == Bus::BluetoothOutgoing) return other.bus == held.bus && other.remote == held.remote;
    if (held.bus != Bus::Usb || other.bus != Bus::Usb || other.vid != held.vid || other.pid != held.pid) return false;
    return held.serial.empty() || _wcsicmp(other.serial.c_str(), held.serial.c_str()) == 0;
}

std::wstring Offered(const std::vector<std::wstring>& ports, const DeviceList& list) {
    std::wstring rows;
    for (const std::wstring& port : ports)
        rows += L"  " + PortRow(port, list) + L"\n    devhost set port=" + port + L"\n";
    return rows;
}

}  // namespace

std::wstring WhereThePortWent(const std::wstring& storedPort, const std::vector<std::wstring>& portsListed,
                              const DeviceList& list) {
    if (std::find(portsListed.begin(), portsListed.end(), storedPort) != portsListed.end()) return L"";
    const PortDevice* held = nullptr;
    for (const PortDevice& device : list.devices) {
        if (!device.present && _wcsicmp(device.portName.c_str(), storedPort.c_str()) == 0) held = &device;
    }
    std::wstring text = storedPort + L" is not present; ";
    if (!held) {
        text += L"Windows names no device that held it" + (list.whyNone.empty() ? L"" : L" (" + list.whyNone + L")");
        return text + (portsListed.empty() ? L", and no port is present.\n"
                                            : L".\nThe ports present now:\n" + Offered(portsListed, list));
    }
    text += L"it was held last by " + DescribeDevice(*held) + L".\n";
    const DeviceIds heldIds = IdsOf(*held);
    std::vector<std::wstring> candidates;
    for (const PortDevice& device : list.devices) {
        if (device.present && MayBeTheOne(heldIds, IdsOf(device))) candidates.push_back(device.portName);
    }
    if (!candidates.empty() && heldIds.bus == DeviceIds::Bus::Usb && heldIds.serial.empty()) {
        return text + L"The same kind of adapter is present now; without a serial number of its own Windows cannot "
                      L"tell it from another of its kind, so check that it is the instrument's:\n" +
               Offered(candidates, list);
    }
    if (!candidates.empty()) return text + L"The same device is present now:\n" + Offered(candidates, list);
    if (portsListed.empty()) return text + L"No port is present.\n";
    return text + L"No device present now is that one. The ports present now:\n" + Offered(portsListed, list);
}

}  // namespace DevHost
