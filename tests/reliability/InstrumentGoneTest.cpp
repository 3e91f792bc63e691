// The cable pulled out while an exchange runs: the worker must notice, end
// without spinning, and the next start must say the port cannot be opened.
#include <gtest/gtest.h>
#include <atomic>
#include <cstdio>
#include <string>
#include <vector>
#include "RecordingSink.h"
#include "ProcessCensus.h"
#include "RigCable.h"
#include "RigPlugin.h"
#include "RigPorts.h"

namespace {

constexpr DWORD kPatience = 10000;
// A worker spinning on a dead port burns a whole core; waiting costs Wine
// tens of milliseconds a second whatever the caller does.
constexpr double kMostCpuMillisecondsPerSecond = 250;

enum class Line { Quiet, Streaming, Transmitting };

class CBigRequest : public ITransferRequest {
public:
    std::vector<uint8_t> bytes = std::vector<uint8_t>(8 * 1024 * 1024, 0x21);
    void HostSlot1() override {}
    void HostSlot2() override {}
    int32_t GetKind() override { return 4; }
    const uint8_t* GetData() override { return bytes.data(); }
    int32_t GetSize() override { return static_cast<int32_t>(bytes.size()); }
};

class InstrumentGone : public ::testing::TestWithParam<Line> {
protected:
    void SetUp() override {
        if (!RigCable::Available()) GTEST_SKIP() << "set NULLMODEM_PREFIX to pull the cable";
        PurgePluginPort();
        plugin = CreateLoadedPlugin(settings, &sink);
    }
    void TearDown() override {
        if (plugin) plugin->Release();
        if (RigCable::Available()) {
            EXPECT_TRUE(RigCable::Plug()) << "the rig is needed by the next tests";
        }
    }

    CRecordingSink sink{CRecordingSink::Keep::CountsOnly};
    Fakes::CRecordingSettingsReader settings = RigSettings();
    Plugin::IDevImportPlugin* plugin = nullptr;
    CBigRequest request;
};

TEST_P(InstrumentGone, ExchangeEndsByItselfWithoutSpinningAndTheNextStartFailsToOpen) {
    const Line line = GetParam();
    std::atomic<int> requestsDone{0};
    sink.react = [&](const RecordedEvent& event) {
        if (event.code == RequestDone) ++requestsDone;
    };
    {
        CRigInstrument instrument;
        ASSERT_TRUE(instrument.IsOpen());
        ASSERT_TRUE(plugin->StartExchange());
        ASSERT_TRUE(sink.WaitFor(EventStarted, kPatience));
        if (line == Line::Streaming) {
            instrument.StartStreaming();
            ASSERT_TRUE(sink.WaitForReceived(20000, kPatience));
        }
        if (line == Line::Transmitting) {
            instrument.StartReading();
            ASSERT_TRUE(plugin->QueueTransferRequest(&request));
            ASSERT_TRUE(sink.WaitFor(EventDataSent, kPatience, 2));
        }
        const double cpuBefore = Census::CpuMilliseconds();
        const ULONGLONG pulled = GetTickCount64();
        ASSERT_TRUE(RigCable::Pull());
        ASSERT_TRUE(sink.WaitForEnds(1, kPatience)) << "the exchange did not notice the device had gone";
        const ULONGLONG ended = GetTickCount64();
        Sleep(1000);
        const double cpuPerSecond = (Census::CpuMilliseconds() - cpuBefore) * 1000.0 / double(GetTickCount64() - pulled);
        std::printf("%s: ended %llu ms after the pull began; %.1f ms CPU per second since\n",
                    ::testing::UnitTest::GetInstance()->current_test_info()->name(), ended - pulled, cpuPerSecond);
        EXPECT_LT(cpuPerSecond, kMostCpuMillisecondsPerSecond);
    }
    EXPECT_EQ(sink.Count(EventStopped), 1u);
    EXPECT_LE(sink.EmptyBlocks(), 1u) << "a dead port is not reported as data";
    if (line == Line::Transmitting) {
        EXPECT_EQ(requestsDone, 1) << "the request being sent is handed back";
        EXPECT_LT(sink.SentBytes(), request.bytes.size());
    }
    EXPECT_TRUE(plugin->StopExchange()) << "nothing holds the port any more";

    ASSERT_TRUE(StartAfterTheLastEnd([&] { return plugin->StartExchange(); }));
    ASSERT_TRUE(sink.WaitForEnds(2, kPatience));
    EXPECT_EQ(sink.OpeningErrors(), 1u);
    EXPECT_EQ(sink.Count(EventStarted), 1u);

    ASSERT_TRUE(RigCable::Plug());
    ASSERT_TRUE(StartAfterTheLastEnd([&] { return plugin->StartExchange(); }));
    EXPECT_TRUE(sink.WaitFor(EventStarted, kPatience, 2)) << "the port works again once plugged back";
    plugin->StopExchange();
    EXPECT_TRUE(sink.WaitForEnds(3, kPatience));
}

std::string LineName(const ::testing::TestParamInfo<Line>& info) {
    switch (info.param) {
    case Line::Quiet: return "Quiet";
    case Line::Streaming: return "Streaming";
    case Line::Transmitting: return "Transmitting";
    }
    return "Unknown";
}

INSTANTIATE_TEST_SUITE_P(Line, InstrumentGone, ::testing::Values(Line::Quiet, Line::Streaming, Line::Transmitting),
                         LineName);

}  // namespace
