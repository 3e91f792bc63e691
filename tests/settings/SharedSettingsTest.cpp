#include <gtest/gtest.h>
#include <atomic>
#include <cstring>
#include <thread>
#include "settings/SharedSettings.h"

namespace {

Settings::PortSettings Set(const wchar_t* port, DWORD baud, BYTE parity, int32_t waitTime) {
    Settings::PortSettings settings;
    settings.portName = port;
    settings.line.BaudRate = baud;
    settings.line.Parity = parity;
    settings.waitTime = waitTime;
    settings.flowControl = static_cast<int32_t>(parity);
    return settings;
}

bool Same(const Settings::PortSettings& a, const Settings::PortSettings& b) {
    return std::memcmp(&a.line, &b.line, sizeof a.line) == 0 && a.portName == b.portName &&
           a.waitTime == b.waitTime && a.flowControl == b.flowControl;
}

// An exchange may start on the worker while the host loads or applies
// settings on its own thread: every copy is one whole set. Names too long
// to be kept inside the string are freed as they are replaced.
TEST(SharedSettings, ACopyTakenWhileTheSettingsAreReplacedIsOneWholeSet) {
    const Settings::PortSettings sets[] = {Set(L"\\\\.\\COM-first-of-two-long-names", 9600, NOPARITY, 10),
                                           Set(L"\\\\.\\COM-second-of-two-long-names", 115200, EVENPARITY, 3600)};
    Settings::CSharedSettings shared;
    shared.Replace(Settings::PortSettings(sets[0]));
    // Each side goes on until both have made their share, so the two overlap
    // however late either thread starts.
    constexpr long kEach = 1000000;
    std::atomic<long> replaced{0};
    std::atomic<long> copied{0};
    std::thread host([&] {
        for (; replaced < kEach || copied < kEach; ++replaced) {
            shared.Replace(Settings::PortSettings(sets[replaced % 2]));
        }
    });
    long mixed = 0;
    for (; copied < kEach || replaced < kEach; ++copied) {
        const Settings::PortSettings copy = shared.Copy();
        if (!Same(copy, sets[0]) && !Same(copy, sets[1])) ++mixed;
    }
    host.join();
    EXPECT_EQ(mixed, 0);
}

}  // namespace
