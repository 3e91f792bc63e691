#include <gtest/gtest.h>
#include <windows.h>
#include "DoctorReport.h"

namespace {

using namespace DevHost;

// What Windows' own driver answers on a quiet line; each case changes one row.
DriverObservations ReferenceDriver() {
    DriverObservations seen;
    for (CallAnswer* call : {&seen.ownRecord, &seen.equalCharacters, &seen.readTimeouts, &seen.status, &seen.restored}) {
        call->asked = true;
    }
    seen.output = {384, ERROR_SUCCESS, false, true, 101, true, 300};
    seen.characterWait.ending = {true, false, true, 1, ERROR_OPERATION_ABORTED};
    seen.emptyRead.completed = true;
    return seen;
}

DriverState Opened() {
    DriverState first;
    first.readRecord.asked = true;
    return first;
}

// Drivers seen in the field as doctor observes them; tests/devhost/doctor.sh
// runs Wine's, with and without the rig's shim, and a missing port.
TEST(DoctorReport, NamesWhatTheDriverDidAndWhatThePlugInDoes) {
    struct Case {
        void (*change)(DriverObservations&);
        bool usable;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {[](DriverObservations&) {}, true, L"CancelIoEx ended it in 1 ms, ERROR_OPERATION_ABORTED (995)\n"},
        {[](DriverObservations& s) { s.equalCharacters.error = ERROR_INVALID_PARAMETER; }, true,
         L"(both NUL, XON/XOFF on): refused, ERROR_INVALID_PARAMETER (87)\n"
         L"    plug-in: sends DC1/DC3 as XON/XOFF characters, so such a driver takes the user's settings\n"},
        {[](DriverObservations&) {}, true, L"counted, up to 300 bytes while the write ran 101 ms\n"},
        {[](DriverObservations& s) { s.output.mostQueued = 0; }, true,
         L"not counted, it stayed 0 while the write ran 101 ms\n"
         L"    plug-in: a driver that does not count gets the write's line time plus 3 s"},
        {[](DriverObservations& s) { s.output.mostQueued = 0, s.output.statusWorked = false; }, true,
         L"could not tell, the status call is refused\n"},
        {[](DriverObservations& s) { s.output.completedAtOnce = true, s.output.mostQueued = 0; }, true,
         L"could not tell, the write completed at once"},
        {[](DriverObservations& s) { s.output.completed = false, s.output.mostQueued = 0; }, true,
         L"stayed 0 while the write ran 101 ms (unfinished, cancelled)\n"},
        {[](DriverObservations& s) { s.characterWait = {ERROR_SUCCESS, true, 40, EV_RXCHAR, 0, {}, true, 12}; }, true,
         L"characters came after 40 ms, so the line was not quiet"},
        {[](DriverObservations& s) { s.characterWait.startError = ERROR_INVALID_PARAMETER; }, true,
         L"(WaitCommEvent, EV_RXCHAR): refused, ERROR_INVALID_PARAMETER (87)\n"},
        {[](DriverObservations& s) {
             s.characterWait.ending = {false, true, true, 1, ERROR_OPERATION_ABORTED};
         },
         true, L"CancelIoEx left it running 100 ms; an empty mask (SetCommMask 0) ended it in 1 ms"},
        {[](DriverObservations& s) {
             s.characterWait.ending = {false, false, false, 1200, 0};
         },
         true, L"ending that wait: nothing ended it within 1200 ms\n"},
        {[](DriverObservations& s) {
             s.emptyRead = {ERROR_SUCCESS, false, 0, 0, 0, {false, false, true, 450, 0}, false, 0};
         },
         true, L"went pending; CancelIoEx did not end it within 100 ms; it ended 450 ms after the cancel"},
        {[](DriverObservations& s) { s.lineErrors = CE_FRAME | CE_BREAK; }, true,
         L"error word: 0x0018, CE_FRAME (a character's stop bit was missing), CE_BREAK (the line was held at space); "
         L"characters that do not fit the line settings are the commonest sign of another speed\n"},
        {[](DriverObservations& s) { s.restored.error = 12345; }, true,
         L"The driver's settings could not all be put back: error 12345\n"},
    };
    for (const Case& test : cases) {
        DriverObservations seen = ReferenceDriver();
        test.change(seen);
        const DoctorReport report = WriteDoctorReport(PortDevice{}, Opened(), {}, seen);
        EXPECT_EQ(report.portUsable, test.usable) << report.text;
        EXPECT_NE(report.text.find(test.expected), std::wstring::npos) << report.text;
    }
}

// A Wine port, Device Manager's entries, and one FTDI adapter with and
// without the latency value.
TEST(DoctorReport, NamesThePortAsWindowsDoes) {
    struct Case {
        const wchar_t* instanceId;
        bool latencyKnown;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {nullptr, false, L"device: Windows names no device for COM5 (under Wine, ports have no device entry)\n"},
        {L"FTDIBUS\\VID_0403+PID_6001+A50285BIA\\0000", true,
         L"device: Port (COM5), a USB adapter, VID 0403 PID 6001 (FTDIBUS\\VID_0403+PID_6001+A50285BIA\\0000)\n"
         L"latency timer (Device Parameters, LatencyTimer): 2 ms\n"
         L"    an answer shorter than the adapter's buffer waits up to 2 ms before the adapter sends it on"},
        {L"FTDIBUS\\VID_0403+PID_6001+A50285BIA\\0000", false, L"not set, so the driver's default of 16 ms\n"},
        {L"BTHENUM\\{00001101-0000-1000-8000-00805F9B34FB}_LOCALMFG&0000\\7&39BA7CFE&0&000000000000_00000007", false,
         L"Bluetooth, incoming (BTHENUM\\{00001101-0000-1000-8000-00805F9B34FB}_LOCALMFG&0000\\7&39BA7CFE&0&"
         L"000000000000_00000007)\n    an incoming Bluetooth port never brings data from an instrument that waits"},
        {L"BTHENUM\\{00001101-0000-1000-8000-00805F9B34FB}_LOCALMFG&000A\\7&39BA7CFE&0&98DA600E1209_C00000000", false,
         L"_C00000000)\nopen: took 0 ms\n"},
        {L"ACPI\\PNP0501\\1", false, L"device: Port (COM5), a port of the computer itself (ACPI\\PNP0501\\1)\nopen"},
    };
    for (const Case& test : cases) {
        PortDevice device;
        device.portName = L"COM5";
        device.underWine = test.instanceId == nullptr;
        device.found = test.instanceId != nullptr;
        device.friendlyName = L"Port (COM5)";
        device.instanceId = test.instanceId ? test.instanceId : L"";
        device.bus = ParseDeviceIds(device.instanceId, L"");
        device.latencyKnown = test.latencyKnown;
        device.latencyMs = 2;
        const std::wstring text = WriteDoctorReport(device, Opened(), {}, ReferenceDriver()).text;
        EXPECT_NE(text.find(test.expected), std::wstring::npos) << text;
    }
}

}  // namespace

namespace {

// What the loaded DLL set comes from its trace alone, and a port that is
// no serial port ends the report.
TEST(DoctorReport, ThePlugInsRowsAreWhatItsTraceSaid) {
    using namespace DevHost;
    const struct {
        DriverState first;
        PluginObservations plugin;
        bool usable;
        const wchar_t* expected;
    } cases[] = {
        {Opened(), {L"", true, {L"\\\\.\\COM5 opened: 57600 baud, data bits 8, parity none, stop bits 1"}}, true,
         L"(its trace): taken, 57600 baud, data bits 8, parity none, stop bits 1\n    plug-in: the exchange runs at "
         L"these settings\nthe plug-in's queues and time-outs (SetupComm, SetCommTimeouts): taken"},
        {Opened(),
         {L"", true,
          {L"\\\\.\\COM5 opened, but the driver refused 9600 baud, data bits 7 (error 87) and keeps its own settings",
           L"\\\\.\\COM5: the driver refused the time-outs, error 1"}},
         true,
         L"keeps its own settings\n    plug-in: the exchange runs at the driver's own settings\nthe plug-in's queues "
         L"and time-outs (SetupComm, SetCommTimeouts): refused; \\\\.\\COM5: the driver refused the time-outs"},
        {Opened(), {L"another program reads the debug output", false, {}}, true,
         L"(its trace): could not tell, another program reads the debug output\n"},
        {Opened(), {L"", true, {L"the trace in other words"}}, true,
         L"    the plug-in's trace: the trace in other words\n"
         L"the stored settings, as the plug-in set them (its trace): could not tell, its trace names no open\n"},
        {DriverState{ERROR_SUCCESS, 3, {true, ERROR_INVALID_FUNCTION}}, {}, false,
         L"(GetCommState ERROR_INVALID_FUNCTION (1)): no serial port"},
    };
    for (const auto& test : cases) {
        const DoctorReport report = WriteDoctorReport(PortDevice{}, test.first, test.plugin, ReferenceDriver());
        EXPECT_EQ(report.portUsable, test.usable) << report.text;
        EXPECT_NE(report.text.find(test.expected), std::wstring::npos) << report.text;
    }
}

}  // namespace
