#include <gtest/gtest.h>
#include <windows.h>
#include "Doctor.h"

namespace {

using namespace DevHost;

// What Windows' own driver answers on a quiet line; each case changes one row.
DriverObservations ReferenceDriver() {
    DriverObservations seen;
    for (CallAnswer* call : {&seen.readRecord, &seen.ownRecord, &seen.equalCharacters, &seen.userRecord, &seen.queues,
                             &seen.timeouts, &seen.status, &seen.restored}) {
        call->asked = true;
    }
    seen.output = {384, ERROR_SUCCESS, false, true, 101, true, 300};
    seen.characterWait.ending = {true, false, true, 1, ERROR_OPERATION_ABORTED};
    seen.emptyRead.completed = true;
    return seen;
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
        {[](DriverObservations& s) { s.readRecord.error = ERROR_INVALID_FUNCTION; }, false,
         L"(GetCommState ERROR_INVALID_FUNCTION (1)): no serial port"},
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
        {[](DriverObservations& s) { s.restored.error = 12345; }, true,
         L"The driver's settings could not all be put back: error 12345\n"},
    };
    for (const Case& test : cases) {
        DriverObservations seen = ReferenceDriver();
        test.change(seen);
        const DoctorReport report = WriteDoctorReport(seen);
        EXPECT_EQ(report.portUsable, test.usable) << report.text;
        EXPECT_NE(report.text.find(test.expected), std::wstring::npos) << report.text;
    }
}

}  // namespace
