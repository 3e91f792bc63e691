#include <gtest/gtest.h>
#include "PortDevice.h"

namespace {

using namespace DevHost;
using Kind = DeviceBus::Kind;

// Ids as Device Manager shows them for each kind of port met in the field.
TEST(PortDevice, TheIdsTellTheBusTheAdapterAndTheBluetoothDirection) {
    struct Case {
        const wchar_t* instanceId;
        const wchar_t* hardwareId;
        Kind kind;
        const wchar_t* vendorAndProduct;
        bool ftdi;
        bool addressKnown;
        const wchar_t* remote;
    };
    const Case cases[] = {
        {L"FTDIBUS\\VID_0403+PID_6001+A50285BIA\\0000", L"FTDIBUS\\COMPORT&VID_0403&PID_6001", Kind::Usb, L"0403:6001",
         true, false, L""},
        {L"USB\\VID_067B&PID_2303\\5&2B1C3D4E&0&2", L"USB\\VID_067B&PID_2303&REV_0300", Kind::Usb, L"067B:2303", false,
         false, L""},
        {L"USB\\VID_10C4&PID_EA60\\0001", L"USB\\VID_10C4&PID_EA60&REV_0100", Kind::Usb, L"10C4:EA60", false, false, L""},
        {L"usb\\vid_1a86&pid_7523\\5&1f3e0c5a&0&3", L"USB\\VID_1A86&PID_7523&REV_0264", Kind::Usb, L"1A86:7523", false,
         false, L""},
        {L"USB\\VID_1546&PID_01A8&MI_00\\6&2A8F1C0&0&0000", L"USB\\VID_1546&PID_01A8&REV_0201&MI_00", Kind::Usb,
         L"1546:01A8", false, false, L""},
        {L"BTHENUM\\{00001101-0000-1000-8000-00805F9B34FB}_LOCALMFG&0000\\7&39BA7CFE&0&000000000000_00000007",
         L"BTHENUM\\{00001101-0000-1000-8000-00805F9B34FB}_LOCALMFG&0000", Kind::Bluetooth, L":", false, true, L""},
        {L"BTHENUM\\{00001101-0000-1000-8000-00805F9B34FB}_VID&00010047_PID&F000\\7&39BA7CFE&0&60B647849B80_C00000000",
         L"BTHENUM\\{00001101-0000-1000-8000-00805F9B34FB}_VID&00010047_PID&F000", Kind::Bluetooth, L":", false, true,
         L"60:B6:47:84:9B:80"},
        {L"ACPI\\PNP0501\\1", L"ACPI\\PNP0501", Kind::Motherboard, L":", false, false, L""},
    };
    for (const Case& test : cases) {
        const DeviceBus bus = ParseDeviceIds(test.instanceId, test.hardwareId);
        EXPECT_EQ(bus.kind, test.kind) << test.instanceId;
        EXPECT_EQ(bus.vendorId + L":" + bus.productId, test.vendorAndProduct) << test.instanceId;
        EXPECT_EQ(bus.ftdiDriver, test.ftdi) << test.instanceId;
        EXPECT_EQ(bus.addressKnown, test.addressKnown) << test.instanceId;
        EXPECT_EQ(bus.remoteAddress, test.remote) << test.instanceId;
    }
}

// A Wine port, Device Manager's entries, and one FTDI adapter with and
// without the latency value.
TEST(PortDevice, DoctorNamesThePortAsWindowsDoes) {
    const struct {
        const wchar_t* instanceId;
        bool latencyKnown;
        const wchar_t* expected;
    } cases[] = {
        {nullptr, false, L"device: Windows names no device for COM5 (under Wine, ports have no device entry)\n"},
        {L"FTDIBUS\\VID_0403+PID_6001+A50285BIA\\0000", true,
         L"device: Port (COM5), a USB adapter, VID 0403 PID 6001 (FTDIBUS\\VID_0403+PID_6001+A50285BIA\\0000)\n"
         L"latency timer (Device Parameters, LatencyTimer): 2 ms\n"
         L"    an answer shorter than the adapter's buffer waits up to 2 ms before the adapter sends it on"},
        {L"FTDIBUS\\VID_0403+PID_6001+A50285BIA\\0000", false, L"not set, so the driver's default of 16 ms\n"},
        {L"BTHENUM\\{00001101-0000-1000-8000-00805F9B34FB}_LOCALMFG&0000\\7&39BA7CFE&0&000000000000_00000007", false,
         L"Bluetooth, incoming (BTHENUM\\{00001101-0000-1000-8000-00805F9B34FB}_LOCALMFG&0000\\7&39BA7CFE&0&"
         L"000000000000_00000007)\n    an incoming Bluetooth port never brings data from an instrument that waits"},
        {L"ACPI\\PNP0501\\1", false, L"device: Port (COM5), a port of the computer itself (ACPI\\PNP0501\\1)\n"},
    };
    for (const auto& test : cases) {
        PortDevice device;
        device.portName = L"COM5";
        device.underWine = test.instanceId == nullptr;
        device.found = test.instanceId != nullptr;
        device.friendlyName = L"Port (COM5)";
        device.instanceId = test.instanceId ? test.instanceId : L"";
        device.bus = ParseDeviceIds(device.instanceId, L"");
        device.latencyKnown = test.latencyKnown;
        device.latencyMs = 2;
        const std::wstring rows = DeviceRows(device);
        EXPECT_NE(rows.find(test.expected), std::wstring::npos) << rows;
    }
}

}  // namespace
