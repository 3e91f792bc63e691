// Many exchanges in a row, each stopped at a random point: every one ends
// exactly once, and the process is left as it was.
#include <gtest/gtest.h>
#include <cstdio>
#include <memory>
#include <random>
#include "RecordingSink.h"
#include "ProcessCensus.h"
#include "RigPlugin.h"
#include "RigTest.h"

namespace {

constexpr DWORD kPatience = 10000;

class CFixedRequest final : public ITransferRequest {
public:
    explicit CFixedRequest(size_t size) : m_bytes(size, 0x6B) {}
    void HostSlot1() override {}
    void HostSlot2() override {}
    int32_t GetKind() override { return 4; }
    const uint8_t* GetData() override { return m_bytes.data(); }
    int32_t GetSize() override { return static_cast<int32_t>(m_bytes.size()); }

private:
    std::vector<uint8_t> m_bytes;
};

enum class StopPoint { AtOnce, BeforeStarted, WhileQuiet, MidBurst, MidTransmit, Count };

class StartStopCycling : public RigTest {
protected:
    void TearDown() override {
        if (plugin) plugin->Release();
        instrument.StopReading();
    }

    // Stops the exchange just started at the given point of its life.
    void StopAt(StopPoint point, size_t cycle, std::mt19937& random) {
        switch (point) {
        case StopPoint::AtOnce:
            break;
        case StopPoint::BeforeStarted:
            Sleep(random() % 3);
            break;
        case StopPoint::WhileQuiet:
            ASSERT_TRUE(sink.WaitFor(EventStarted, kPatience, cycle + 1));
            Sleep(random() % 150);
            break;
        case StopPoint::MidBurst:
            ASSERT_TRUE(sink.WaitFor(EventStarted, kPatience, cycle + 1));
            ASSERT_TRUE(instrument.Send(std::vector<uint8_t>(4096 + random() % 16384, 0x5A)));
            ASSERT_TRUE(sink.WaitFor(EventDataReceived, kPatience, bursts + 1));
            ++bursts;
            break;
        case StopPoint::MidTransmit:
            ASSERT_TRUE(sink.WaitFor(EventStarted, kPatience, cycle + 1));
            // Two chunks: the stop comes between them or during the second.
            requests.push_back(std::make_unique<CFixedRequest>(65536 + 1 + random() % 65536));
            ASSERT_TRUE(plugin->QueueTransferRequest(requests.back().get()));
            ASSERT_TRUE(sink.WaitFor(EventDataSent, kPatience, transmits + 1));
            ++transmits;
            break;
        case StopPoint::Count:
            break;
        }
        plugin->StopExchange();
    }

    CRecordingSink sink{CRecordingSink::Keep::CountsOnly};
    Fakes::CRecordingSettingsReader settings = RigSettings();
    Plugin::IDevImportPlugin* plugin = nullptr;
    size_t bursts = 0;
    size_t transmits = 0;
    // A request stopped before its turn stays queued for the next exchange,
    // so every request lives as long as the plug-in.
    std::vector<std::unique_ptr<CFixedRequest>> requests;
};

TEST_F(StartStopCycling, EveryStartEndsOnceAndNothingIsLeftBehind) {
    const size_t cycles = LongRun() ? 1000 : 250;
    WarmUpTheRig();
    const DWORD handles = Census::HandleCount();
    const DWORD threads = Census::ThreadCount();
    ASSERT_GT(handles, 0u);
    // Takes what the plug-in transmits; its handles come and go with it.
    instrument.StartReading();

    plugin = CreateLoadedPlugin(settings, &sink);
    std::mt19937 random(20261209);
    for (size_t cycle = 0; cycle < cycles; ++cycle) {
        ASSERT_TRUE(StartAfterTheLastEnd([&] { return plugin->StartExchange(); })) << "cycle " << cycle;
        StopAt(static_cast<StopPoint>(random() % static_cast<unsigned>(StopPoint::Count)), cycle, random);
        ASSERT_TRUE(sink.WaitForEnds(cycle + 1, kPatience)) << "cycle " << cycle;
        ASSERT_EQ(sink.Ends(), cycle + 1) << "cycle " << cycle;
    }
    ASSERT_TRUE(plugin->Release());
    plugin = nullptr;
    instrument.StopReading();
    instrument.Purge();

    EXPECT_EQ(sink.Count(EventStarted), sink.Count(EventStopped)) << "each start that opened the port ended";
    EXPECT_EQ(sink.Count(EventStarted) + sink.OpeningErrors(), cycles);
    EXPECT_EQ(sink.Count(EventLogText), sink.Count(EventDataReceived) + sink.OpeningErrors());
    EXPECT_TRUE(Census::SettlesAt(handles, threads, 5000))
        << "handles " << handles << " -> " << Census::HandleCount() << ", threads " << threads << " -> "
        << Census::ThreadCount();
    std::printf("%zu cycles: %zu stopped, %zu opening errors, %zu bursts, %zu transmits; handles %lu, threads %lu\n",
                cycles, sink.Count(EventStopped), sink.OpeningErrors(), bursts, transmits, Census::HandleCount(),
                Census::ThreadCount());
}

}  // namespace
