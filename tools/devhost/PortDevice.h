#pragma once
#include <windows.h>
#include <optional>
#include <string>

namespace DevHost {

// What Windows keeps of a device of the Ports or Modem class, present or not.
struct PortDevice {
    std::wstring portName;  // its "PortName": the port it holds, or held last while not present
    std::wstring whyNone;   // said after the port's name when no device was found; empty when one was
    std::wstring friendlyName;
    std::wstring instanceId;  // USB\VID_067B&PID_2303\5&1A2B3C&0&2, BTHENUM\{...}\7&39BA7CFE&0&000000000000_00000007
    std::wstring hardwareId;  // the first: FTDIBUS\COMPORT&VID_0403&PID_6001
    std::wstring parentId;    // the parent device's instance id
    std::wstring location;    // its first location path, else its location information; empty when it has none
    bool present = true;
    std::optional<DWORD> latencyMilliseconds;  // "LatencyTimer" of the device's parameters
};

// "USB Serial Port (COM5), a USB adapter, VID 0403 PID 6001, serial A50285BIA, at Port_#0002.Hub_#0001"
std::wstring DescribeDevice(const PortDevice& device);

// doctor's rows of the device, the bus its ids tell and what follows from it (an incoming
// Bluetooth port, FTDI's latency timer).
std::wstring DeviceRows(const PortDevice& device);

}  // namespace DevHost
