#include <gtest/gtest.h>
#include "PortDevice.h"

namespace {

using namespace DevHost;

// Ids as Device Manager shows them for each kind of port met in the field.
TEST(PortDevice, DoctorNamesThePortItsBusAndWhatFollowsAsWindowsDoes) {
    const struct {
        const wchar_t* instanceId;
        const wchar_t* hardwareId;
        bool latencyKnown;
        const wchar_t* rows;
    } cases[] = {
        {L"FTDIBUS\\VID_0403+PID_6001+A50285BIA\\0000", L"FTDIBUS\\COMPORT&VID_0403&PID_6001", true,
         L"device: Port (COM5), a USB adapter, VID 0403 PID 6001 (FTDIBUS\\VID_0403+PID_6001+A50285BIA\\0000)\n"
         L"latency timer (Device Parameters, LatencyTimer): 2 ms\n"
         L"    an answer shorter than the adapter's buffer waits up to 2 ms before the adapter sends it on; Device "
         L"Manager changes it in the port's advanced port settings\n"},
        {L"FTDIBUS\\VID_0403+PID_6001+A50285BIA\\0000", L"", false,
         L"device: Port (COM5), a USB adapter, VID 0403 PID 6001 (FTDIBUS\\VID_0403+PID_6001+A50285BIA\\0000)\n"
         L"latency timer (Device Parameters, LatencyTimer): not set, so the driver's default of 16 ms\n"
         L"    an answer shorter than the adapter's buffer waits up to 16 ms before the adapter sends it on; Device "
         L"Manager changes it in the port's advanced port settings\n"},
        {L"USB\\VID_067B&PID_2303\\5&2B1C3D4E&0&2", L"USB\\VID_067B&PID_2303&REV_0300", false,
         L"device: Port (COM5), a USB adapter, VID 067B PID 2303 (USB\\VID_067B&PID_2303\\5&2B1C3D4E&0&2)\n"},
        {L"usb\\vid_1a86&pid_7523\\5&1f3e0c5a&0&3", L"USB\\VID_1A86&PID_7523&REV_0264", false,
         L"device: Port (COM5), a USB adapter, VID 1A86 PID 7523 (usb\\vid_1a86&pid_7523\\5&1f3e0c5a&0&3)\n"},
        {L"USB\\VID_1546&PID_01A8&MI_00\\6&2A8F1C0&0&0000", L"USB\\VID_1546&PID_01A8&REV_0201&MI_00", false,
         L"device: Port (COM5), a USB adapter, VID 1546 PID 01A8 (USB\\VID_1546&PID_01A8&MI_00\\6&2A8F1C0&0&0000)\n"},
        {L"BTHENUM\\{00001101-0000-1000-8000-00805F9B34FB}_LOCALMFG&0000\\7&39BA7CFE&0&000000000000_00000007",
         L"BTHENUM\\{00001101-0000-1000-8000-00805F9B34FB}_LOCALMFG&0000", false,
         L"device: Port (COM5), Bluetooth, incoming (BTHENUM\\{00001101-0000-1000-8000-00805F9B34FB}_LOCALMFG&0000\\7&"
         L"39BA7CFE&0&000000000000_00000007)\n    an incoming Bluetooth port never brings data from an instrument that "
         L"waits to be called: the host must use the outgoing port\n"},
        {L"BTHENUM\\{00001101-0000-1000-8000-00805F9B34FB}_VID&00010047_PID&F000\\7&39BA7CFE&0&60B647849B80_C00000000",
         L"BTHENUM\\{00001101-0000-1000-8000-00805F9B34FB}_VID&00010047_PID&F000", false,
         L"device: Port (COM5), Bluetooth, outgoing to 60:B6:47:84:9B:80 (BTHENUM\\{00001101-0000-1000-8000-"
         L"00805F9B34FB}_VID&00010047_PID&F000\\7&39BA7CFE&0&60B647849B80_C00000000)\n"},
        {L"ACPI\\PNP0501\\1", L"ACPI\\PNP0501", false,
         L"device: Port (COM5), a port of the computer itself (ACPI\\PNP0501\\1)\n"},
    };
    for (const auto& test : cases) {
        PortDevice device;
        device.portName = L"COM5";
        device.friendlyName = L"Port (COM5)";
        device.instanceId = test.instanceId;
        device.hardwareId = test.hardwareId;
        if (test.latencyKnown) device.latencyMs = 2;
        EXPECT_EQ(DeviceRows(device), test.rows);
    }
}

}  // namespace
