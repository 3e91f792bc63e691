// A driver whose WaitCommEvent completes at once without data: Wine on a
// plain pseudo-terminal, run without the rig's shim (RIG_WITHOUT_PTYSHIM=1,
// as CTest's rig.without_ptyshim does). The exchange must not hand the host
// empty blocks, must not spin, and must still end by its idle time.
#include <gtest/gtest.h>
#include <cstdio>
#include "RecordingSink.h"
#include "ProcessCensus.h"
#include "RigPlugin.h"
#include "RigPorts.h"

namespace {

constexpr DWORD kQuietMilliseconds = 2000;
// A bare 100 ms wait loop costs Wine tens of milliseconds a second; a
// spinning worker costs most of a core.
constexpr double kMostCpuMillisecondsPerSecond = 200;

TEST(DriverWithoutWaits, QuietLineThenBytesThenTheIdleEnd) {
    wchar_t flag[4];
    if (GetEnvironmentVariableW(L"RIG_WITHOUT_PTYSHIM", flag, 4) == 0) GTEST_SKIP() << "runs without the pty shim";
    PurgePluginPort();
    CRigInstrument instrument;
    ASSERT_TRUE(instrument.IsOpen());
    CRecordingSink sink{CRecordingSink::Keep::CountsOnly};
    Fakes::CRecordingSettingsReader settings = RigSettings();
    settings.ints[L"WATETIME"] = 1;
    Plugin::IDevImportPlugin* plugin = CreateLoadedPlugin(settings, &sink);
    ASSERT_TRUE(plugin->StartExchange());
    ASSERT_TRUE(sink.WaitFor(EventStarted, 10000));

    const double cpuBefore = Census::CpuMilliseconds();
    Sleep(kQuietMilliseconds);
    const double cpuPerSecond = (Census::CpuMilliseconds() - cpuBefore) * 1000.0 / kQuietMilliseconds;
    const size_t quietEvents = sink.Count(EventDataReceived) + sink.Count(EventLogText);

    ASSERT_TRUE(instrument.Send(std::vector<uint8_t>(1000, 0x5A)));
    EXPECT_TRUE(sink.WaitForReceived(1000, 10000));
    const ULONGLONG lastBytes = GetTickCount64();
    EXPECT_TRUE(sink.WaitForEnds(1, 10000)) << "the idle time ends the exchange";
    const ULONGLONG endedAfter = GetTickCount64() - lastBytes;
    std::printf("without the shim: %.1f ms CPU per second while quiet, %zu data events while quiet, "
                "%zu empty blocks, ended %llu ms after the last bytes\n",
                cpuPerSecond, quietEvents, sink.EmptyBlocks(), endedAfter);
    EXPECT_EQ(quietEvents, 0u);
    EXPECT_EQ(sink.EmptyBlocks(), 0u);
    EXPECT_LT(cpuPerSecond, kMostCpuMillisecondsPerSecond);
    EXPECT_TRUE(plugin->Release());
}

}  // namespace
