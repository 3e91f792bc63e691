// The port's handling of driver results that Wine does not produce.
#include <gtest/gtest.h>
#include "ModelDriver.h"
#include "win32/Event.h"
#include "serial/SerialPort.h"

namespace {

// A device whose driver watches for breaks and errors before the port's
// first wait, which the port must give back.
DriverQuirks WatchingDevice() {
    DriverQuirks quirks;
    quirks.maskAtStart = EV_BREAK | EV_ERR;
    return quirks;
}

class ScriptedPort : public ::testing::Test {
protected:
    void SetUp() override {
        DCB line{};
        port.Open(L"\\\\.\\COM3", line);
        ASSERT_TRUE(port.IsOpen());
    }

    CModelDriver api{WatchingDevice()};
    Serial::CSerialPort port{api.Table()};
};

// A quiet turn costs the driver no new wait and no mask change; the port
// still owns the wait and ends it before the handle goes.
TEST_F(ScriptedPort, QuietWaitStaysPendingIntoTheNextCallUntilThePortCloses) {
    int waitsStarted = 0;
    api.waitCommEvent = [&](DWORD* events, OVERLAPPED* record) {
        ++waitsStarted;
        return api.Pend(record, events);
    };
    ULONGLONG start = GetTickCount64();
    EXPECT_EQ(port.WaitForReceive(50).state, Serial::IoState::Pending);
    EXPECT_GE(GetTickCount64() - start, 40u);
    EXPECT_EQ(port.WaitForReceive(20).state, Serial::IoState::Pending);
    EXPECT_EQ(waitsStarted, 1);
    EXPECT_EQ(api.Mask(), DWORD(EV_RXCHAR));
    port.Close();
    EXPECT_EQ(api.Unreaped(), 0u);
    EXPECT_EQ(api.Mask(), DWORD(EV_BREAK | EV_ERR));
}

// A queued request or a stop must not wait out a quiet listening time.
TEST_F(ScriptedPort, WakeEndsAQuietWaitAtOnceAsNoArrival) {
    const Win32::CEvent wake(Win32::CEvent::Reset::Automatic, true);
    ULONGLONG start = GetTickCount64();
    EXPECT_EQ(port.WaitForReceive(10000, wake.Get()).state, Serial::IoState::Pending);
    EXPECT_LT(GetTickCount64() - start, 5000u);
}

TEST_F(ScriptedPort, WaitCompletingInTimeReportsArrivalAndIsFinished) {
    api.waitCommEvent = [&](DWORD* events, OVERLAPPED* record) {
        BOOL result = api.Pend(record, events);
        api.Complete(record, 0, ERROR_SUCCESS, EV_RXCHAR);
        return result;
    };
    EXPECT_EQ(port.WaitForReceive(1000).state, Serial::IoState::Completed);
    EXPECT_EQ(api.Unreaped(), 0u);
}

TEST_F(ScriptedPort, WaitCompletedBetweenCallsIsReportedAtOnce) {
    OVERLAPPED* pending = nullptr;
    api.waitCommEvent = [&](DWORD* events, OVERLAPPED* record) {
        pending = record;
        return api.Pend(record, events);
    };
    EXPECT_EQ(port.WaitForReceive(10).state, Serial::IoState::Pending);
    api.Complete(pending, 0, ERROR_SUCCESS, EV_RXCHAR);
    ULONGLONG start = GetTickCount64();
    EXPECT_EQ(port.WaitForReceive(10000).state, Serial::IoState::Completed);
    EXPECT_LT(GetTickCount64() - start, 5000u);
    EXPECT_EQ(api.Unreaped(), 0u);
}

// Nothing is pending after a failed call, so nothing may be waited for; the
// error goes to the caller, which decides whether the device has gone.
TEST_F(ScriptedPort, FailedWaitReportsItsErrorAndWaitsForNoResult) {
    api.waitCommEvent = [](DWORD*, OVERLAPPED*) {
        SetLastError(ERROR_BAD_COMMAND);
        return FALSE;
    };
    const Serial::IoResult listen = port.WaitForReceive(50);
    EXPECT_EQ(listen.state, Serial::IoState::Failed);
    EXPECT_EQ(listen.error, DWORD(ERROR_BAD_COMMAND));
    EXPECT_EQ(api.overlappedResultCalls, 0);
}

// The port owns what the driver writes into: closing it ends a running
// write and reaps it before the handle goes.
TEST_F(ScriptedPort, ClosingEndsARunningWriteFirst) {
    api.writeFile = [&](const void*, DWORD, DWORD*, OVERLAPPED* record) { return api.Pend(record); };
    ASSERT_EQ(port.StartWrite(8).state, Serial::IoState::Pending);
    port.Close();
    EXPECT_EQ(api.Unreaped(), 0u);
    EXPECT_EQ(api.OpenHandles(), 0);
}

}  // namespace
