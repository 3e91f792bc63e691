#pragma once
#include <windows.h>
#include <string>

namespace DevHost {

// What a port's device ids tell of the bus behind it.
struct DeviceBus {
    enum class Kind { Other, Usb, Bluetooth, Motherboard };
    Kind kind = Kind::Other;
    std::wstring enumerator;           // the instance id's first part: USB, FTDIBUS, BTHENUM, ACPI...
    std::wstring vendorId, productId;  // a USB adapter's, four hex digits each
    bool ftdiDriver = false;           // FTDI's own driver, which holds answers for its latency timer
    bool addressKnown = false;         // Bluetooth: the instance id names the remote address
    std::wstring remoteAddress;        // Bluetooth, as 98:DA:60:0E:12:09; empty for an incoming port
};

// From a device instance id (USB\VID_067B&PID_2303\5&1A2B3C&0&2,
// BTHENUM\{...}_LOCALMFG&0000\7&39BA7CFE&0&000000000000_00000007) and the
// device's first hardware id (FTDIBUS\COMPORT&VID_0403&PID_6001).
DeviceBus ParseDeviceIds(const std::wstring& instanceId, const std::wstring& hardwareId);

// How Windows names a port: the device of the Ports or Modem class whose
// "PortName" is the port, as Device Manager shows it.
struct PortDevice {
    std::wstring portName;
    DWORD error = ERROR_SUCCESS;  // SetupAPI refused the listing
    bool found = false;
    bool underWine = false;  // Wine lists no device in either class
    std::wstring friendlyName;
    std::wstring instanceId;
    std::wstring hardwareId;
    DeviceBus bus;
    bool latencyKnown = false;  // "LatencyTimer" of the device's parameters
    DWORD latencyMs = 0;
};

// "\\.\COM12": bare names open for COM1 to COM9 only.
std::wstring DevicePathOf(const std::wstring& portName);

// Reads only: needs no rights and opens no port.
PortDevice FindPortDevice(const std::wstring& portName);

// doctor's rows of how Windows names the port: the device, its bus, and
// what follows from it (an incoming Bluetooth port, FTDI's latency timer).
std::wstring DeviceRows(const PortDevice& device);

}  // namespace DevHost
