// The port's handling of driver results that Wine does not produce.
#include <gtest/gtest.h>
#include "ScriptedSerialApi.h"
#include "serial/SerialPort.h"

namespace {

class ScriptedPort : public ::testing::Test {
protected:
    void SetUp() override {
        api.mask = EV_BREAK | EV_ERR;
        DCB line{};
        port.Open(L"\\\\.\\COM3", &line);
        ASSERT_TRUE(port.IsOpen());
    }

    ScriptedSerialApi api;
    CSerialPort port{api.Table()};
};

TEST_F(ScriptedPort, QuietWaitIsEndedAndFinishedBeforeItsRecordGoes) {
    ULONGLONG start = GetTickCount64();
    EXPECT_FALSE(port.WaitForReceive(50));
    EXPECT_GE(GetTickCount64() - start, 40u);
    EXPECT_EQ(api.Unreaped(), 0u);
    EXPECT_EQ(api.mask, DWORD(EV_BREAK | EV_ERR));
}

// A queued request or a stop must not wait out a quiet listening time.
TEST_F(ScriptedPort, WakeEndsAQuietWaitAtOnceAsNoArrival) {
    HANDLE wake = CreateEventW(nullptr, FALSE, TRUE, nullptr);
    ULONGLONG start = GetTickCount64();
    EXPECT_FALSE(port.WaitForReceive(10000, wake));
    EXPECT_LT(GetTickCount64() - start, 5000u);
    EXPECT_EQ(api.Unreaped(), 0u);
    EXPECT_EQ(api.mask, DWORD(EV_BREAK | EV_ERR));
    CloseHandle(wake);
}

TEST_F(ScriptedPort, WaitCompletingInTimeReportsArrivalAndIsFinished) {
    api.waitCommEvent = [&](DWORD* events, OVERLAPPED* record) {
        BOOL result = api.Pend(record, events);
        api.Complete(record, 0, ERROR_SUCCESS, EV_RXCHAR);
        return result;
    };
    EXPECT_TRUE(port.WaitForReceive(1000));
    EXPECT_EQ(api.Unreaped(), 0u);
    EXPECT_EQ(api.mask, DWORD(EV_BREAK | EV_ERR));
}

// Nothing is pending after a failed call, so nothing may be waited for; the
// time is still taken so a broken device cannot make the worker spin.
TEST_F(ScriptedPort, FailedWaitTakesItsTimeAndWaitsForNoResult) {
    api.waitCommEvent = [](DWORD*, OVERLAPPED*) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    };
    ULONGLONG start = GetTickCount64();
    EXPECT_FALSE(port.WaitForReceive(50));
    EXPECT_GE(GetTickCount64() - start, 40u);
    EXPECT_EQ(api.overlappedResultCalls, 0);
}

TEST_F(ScriptedPort, CancelledReadReportsTheBytesItTookAndIsFinished) {
    char buffer[16];
    OVERLAPPED record{};
    DWORD bytes = 99;
    api.readFile = [&](void*, DWORD, DWORD*, OVERLAPPED* pending) { return api.Pend(pending); };
    api.bytesBeforeCancel = 7;
    ASSERT_EQ(port.Read(buffer, sizeof buffer, &record, &bytes), IoStart::Pending);
    EXPECT_EQ(bytes, 99u) << "a pending read has no count yet";
    EXPECT_EQ(port.CancelPending(&record), 7u);
    EXPECT_EQ(api.Unreaped(), 0u);
}

}  // namespace
