#pragma once
#include <string>

namespace DevHost {

// What a device's ids tell of it: its bus, and what tells it from another
// device of its kind.
struct DeviceIds {
    enum class Bus { Usb, BluetoothIncoming, BluetoothOutgoing, Bluetooth, Computer, Other };
    Bus bus = Bus::Other;
    std::wstring enumerator;  // the instance id's first part, in capitals: FTDIBUS, BTHENUM
    std::wstring vid;         // USB, in capitals: 0403
    std::wstring pid;
    // USB: the device's own serial number; empty where Windows made up the
    // id's last part (it then holds '&'), as for most CH340, PL2303 and
    // CP210x adapters, which then take a new port in each USB socket.
    std::wstring serial;
    std::wstring remote;  // an outgoing Bluetooth port's remote device: 60:B6:47:84:9B:80
};

// parentId: the parent device's instance id, whose last part is the serial
// number of a device with several interfaces (USB\VID_1546&PID_01A8&MI_00\...).
DeviceIds ReadIds(const std::wstring& instanceId, const std::wstring& hardwareId, const std::wstring& parentId);

// "a USB adapter, VID 0403 PID 6001", "Bluetooth, outgoing to 60:B6:47:84:9B:80"
std::wstring BusText(const DeviceIds& ids);

}  // namespace DevHost
