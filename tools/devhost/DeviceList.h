#pragma once
#include <string>
#include <vector>
#include "PortDevice.h"

namespace DevHost {

// The devices of the Ports and Modem classes that Windows keeps, present or
// not: one no longer present still says which port it held last.
struct DeviceList {
    std::vector<PortDevice> devices;
    std::wstring whyNone;  // why none could be listed ("under Wine, ports have no device entry"); else empty
};

// Reads only: needs no rights and opens no port.
DeviceList ListPortDevices();

// The present device holding the port, or one whose whyNone says why there is none.
PortDevice FindPortDevice(const DeviceList& list, const std::wstring& portName);

// "COM5: USB Serial Port (COM5), a USB adapter, ..., present", "COM5: Windows names no device"
std::wstring PortRow(const std::wstring& portName, const DeviceList& list);

}  // namespace DevHost
