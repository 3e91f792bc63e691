#include <gtest/gtest.h>
#include <regex>
#include "MovedPort.h"

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
        if (test.latencyKnown) device.latencyMilliseconds = 2;
        EXPECT_EQ(DeviceRows(device), test.rows);
    }
}

// Devices as Windows keeps them, the ports of their ids as met in the field.
PortDevice Kept(const wchar_t* port, const wchar_t* instanceId, bool present, const wchar_t* parentId = L"") {
    PortDevice device;
    device.portName = port;
    device.friendlyName = std::wstring(L"Port (") + port + L")";
    device.instanceId = instanceId;
    device.parentId = parentId;
    device.present = present;
    return device;
}

TEST(PortDevice, AStoredPortNotPresentNamesThePortsItsDeviceMayBeAtAndChoosesNone) {
    const wchar_t* ch340 = L"USB\\VID_1A86&PID_7523\\5&1F3E0C5A&0&3";
    const wchar_t* ftdi = L"FTDIBUS\\VID_0403+PID_6001+A50285BIA\\0000";
    const PortDevice computer = Kept(L"COM1", L"ACPI\\PNP0501\\1", true);
    const struct {
        const wchar_t* stored;
        std::vector<std::wstring> listed;
        std::vector<PortDevice> devices;
        const wchar_t* said;  // the line before the ports offered
        std::vector<std::wstring> offered;
    } cases[] = {
        {L"COM9",
         {L"COM1", L"COM12", L"COM13"},
         {Kept(L"COM9", L"USB\\VID_1546&PID_01A8&MI_00\\6&2A8F1C0&0&0000", false, L"USB\\VID_1546&PID_01A8\\0123456"),
          computer,
          Kept(L"COM12", L"USB\\VID_1546&PID_01A8&MI_00\\6&3B9E2D1&0&0000", true, L"USB\\VID_1546&PID_01A8\\0123456"),
          Kept(L"COM13", L"USB\\VID_1546&PID_01A8&MI_00\\6&4C8F3E2&0&0000", true, L"USB\\VID_1546&PID_01A8\\0999999")},
         L"The same device is present now:",
         {L"COM12"}},
        {L"COM9",
         {L"COM1", L"COM4"},
         {Kept(L"COM9", ch340, false, L"USB\\VID_2109&PID_2813\\000000001"), computer,
          Kept(L"COM4", L"USB\\VID_1A86&PID_7523\\5&1F3E0C5A&0&1", true)},
         L"so check that it is the instrument's:",
         {L"COM4"}},
        {L"COM9",
         {L"COM1", L"COM4", L"COM7", L"COM8"},
         {Kept(L"COM9", ch340, false), computer, Kept(L"COM4", L"USB\\VID_1A86&PID_7523\\5&1F3E0C5A&0&1", true),
          Kept(L"COM7", L"USB\\VID_1A86&PID_7523\\5&2B4D6E8F&0&2", true),
          Kept(L"COM8", L"USB\\VID_067B&PID_2303\\5&2B4D6E8F&0&4", true)},
         L"so check that it is the instrument's:",
         {L"COM4", L"COM7"}},
        {L"COM20",
         {L"COM21", L"COM22", L"COM23"},
         {Kept(L"COM20",
               L"BTHENUM\\{00001101-0000-1000-8000-00805F9B34FB}_VID&00010047_PID&F000\\7&39BA7CFE&0&60B647849B80_"
               L"C00000000",
               false),
          Kept(L"COM21",
               L"BTHENUM\\{00001101-0000-1000-8000-00805F9B34FB}_VID&00010047_PID&F000\\8&1C2D3E4F&0&60B647849B80_"
               L"C00000000",
               true),
          Kept(L"COM22",
               L"BTHENUM\\{00001101-0000-1000-8000-00805F9B34FB}_VID&00010047_PID&F000\\8&1C2D3E4F&0&98DA600E1209_"
               L"C00000000",
               true),
          Kept(L"COM23",
               L"BTHENUM\\{00001101-0000-1000-8000-00805F9B34FB}_LOCALMFG&0000\\7&39BA7CFE&0&000000000000_00000007",
               true)},
         L"The same device is present now:",
         {L"COM21"}},
        {L"COM9",
         {L"COM1", L"COM5", L"COM6"},
         {Kept(L"COM9", ftdi, false), computer, Kept(L"COM5", L"FTDIBUS\\VID_0403+PID_6001+A7XQ2BZ1A\\0000", true)},
         L"No device present now is that one. The ports present now:",
         {L"COM1", L"COM5", L"COM6"}},
        {L"COM9",
         {L"COM1", L"COM5", L"COM6"},
         {},
         L"COM9 is not present; Windows names no device that held it.",
         {L"COM1", L"COM5", L"COM6"}},
        {L"COM5", {L"COM1", L"COM5"}, {Kept(L"COM5", ch340, false), Kept(L"COM4", ch340, true)}, nullptr, {}},
    };
    for (const auto& test : cases) {
        const std::wstring text = WhereThePortWent(test.stored, test.listed, DeviceList{test.devices, L""});
        std::vector<std::wstring> offered;
        const std::wregex setLine(L"\n    devhost set port=(\\w+)\n");
        for (std::wsregex_iterator at(text.begin(), text.end(), setLine), end; at != end; ++at)
            offered.push_back(at->str(1));
        EXPECT_EQ(offered, test.offered) << text;
        EXPECT_EQ(text.empty(), !test.said) << text;
        if (test.said) {
            EXPECT_NE(text.find(std::wstring(test.said) + L"\n"), std::wstring::npos) << text;
        }
    }
}

}  // namespace
