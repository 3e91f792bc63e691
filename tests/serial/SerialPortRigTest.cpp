// The port on a real line: the null-modem rig under Wine, a port pair on
// Windows.
#include <gtest/gtest.h>
#include <thread>
#include "RigTest.h"
#include "win32/DevicePath.h"
#include "serial/SerialPort.h"

namespace {

class PortOnTheRig : public RigTest {
protected:
    void SetUp() override {
        RigTest::SetUp();
        DCB line = RigLine();
        const Serial::IoResult opened = port.Open(Win32::DevicePathFor(PluginPortName().c_str()).c_str(), line);
        ASSERT_EQ(opened.state, Serial::IoState::Completed);
        ASSERT_EQ(opened.error, DWORD(ERROR_SUCCESS)) << "the rig's driver takes the record";
    }

    DWORD BytesWaiting() {
        COMSTAT status{};
        DWORD lineErrors = 0;
        return port.ClearErrors(&status, &lineErrors).Completed() ? status.cbInQue : 0;
    }

    Serial::CSerialPort port;
};

TEST_F(PortOnTheRig, QuietWaitTakesItsTimeAndFindsNothing) {
    ULONGLONG start = GetTickCount64();
    EXPECT_EQ(port.WaitForReceive(100).state, Serial::IoState::Pending);
    ULONGLONG elapsed = GetTickCount64() - start;
    EXPECT_GE(elapsed, 90u);
    EXPECT_LT(elapsed, 400u);
    EXPECT_EQ(BytesWaiting(), 0u);
}

TEST_F(PortOnTheRig, ByteDuringTheWaitIsReportedAndLeftToRead) {
    std::thread sender([this] {
        Sleep(30);
        instrument.Send({0x5A});
    });
    EXPECT_EQ(port.WaitForReceive(2000).state, Serial::IoState::Completed);
    sender.join();
    Sleep(20);
    EXPECT_EQ(BytesWaiting(), 1u);
    EXPECT_EQ(BytesWaiting(), 1u);
}

TEST_F(PortOnTheRig, ReadOnAnEmptyLineEndsWithNothing) {
    COMMTIMEOUTS timeouts{MAXDWORD, 0, 0, 500, 1};
    port.SetTimeouts(timeouts);
    EXPECT_EQ(port.Read(16).bytes, 0u);
}

TEST(PortOpen, MissingDeviceLeavesThePortClosed) {
    Serial::CSerialPort port;
    DCB line = RigLine();
    EXPECT_EQ(port.Open(L"\\\\.\\COM200", line).error, DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(port.IsOpen());
}

}  // namespace
