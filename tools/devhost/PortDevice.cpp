#include "PortDevice.h"
#include <cwchar>
#include "DeviceIds.h"

namespace DevHost {

std::wstring DescribeDevice(const PortDevice& device) {
    const DeviceIds ids = ReadIds(device.instanceId, device.hardwareId, device.parentId);
    std::wstring text =
        (device.friendlyName.empty() ? L"no friendly name" : device.friendlyName) + L", " + BusText(ids);
    if (ids.bus == DeviceIds::Bus::Usb) {
        text += ids.serial.empty() ? L", no serial number of its own" : L", serial " + ids.serial;
    }
    return device.location.empty() ? text : text + L", at " + device.location;
}

std::wstring DeviceRows(const PortDevice& device) {
    if (!device.whyNone.empty()) {
        return L"device: Windows names no device for " + device.portName + device.whyNone + L"\n";
    }
    const std::wstring name = device.friendlyName.empty() ? L"no friendly name" : device.friendlyName;
    const DeviceIds ids = ReadIds(device.instanceId, device.hardwareId, device.parentId);
    std::wstring rows = L"device: " + name + L", " + BusText(ids) + L" (" + device.instanceId + L")\n";
    if (ids.bus == DeviceIds::Bus::BluetoothIncoming) {
        rows += L"    an incoming Bluetooth port never brings data from an instrument that waits to be called: the "
                L"host must use the outgoing port\n";
    }
    // FTDI's driver holds an answer shorter than its buffer until the timer runs out.
    if (!device.latencyMilliseconds && _wcsnicmp(device.instanceId.c_str(), L"FTDIBUS\\", 8) != 0) return rows;
    const std::wstring latency = std::to_wstring(device.latencyMilliseconds.value_or(16)) + L" ms";
    return rows + L"latency timer (Device Parameters, LatencyTimer): " +
           (device.latencyMilliseconds ? latency : L"not set, so the driver's default of " + latency) +
           L"\n    an answer shorter than the adapter's buffer waits up to " + latency +
           L" before the adapter sends it on; Device Manager changes it in the port's advanced port settings\n";
}

}  // namespace DevHost
