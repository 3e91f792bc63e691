// The host's last reference dropped on the worker's own thread inside its
// final event, and while exchanges restarted from their final events run.
#include <gtest/gtest.h>
#include <atomic>
#include "CountingSink.h"
#include "ProcessCensus.h"
#include "RigPlugin.h"
#include "RigPorts.h"

namespace {

constexpr DWORD kPatience = 10000;

class Lifetime : public ::testing::Test {
protected:
    void SetUp() override {
        PurgePluginPort();
        ASSERT_TRUE(instrument.IsOpen());
        WarmUpTheRig();
        handles = Census::HandleCount();
        threads = Census::ThreadCount();
    }
    void TearDown() override {
        instrument.StopStreaming();
        instrument.Purge();
    }

    // No event may come after the plug-in has gone: the sink's counts stay.
    void ExpectSilenceAfterTheEnd() {
        const size_t events = TotalEvents();
        Sleep(300);
        EXPECT_EQ(TotalEvents(), events);
        EXPECT_TRUE(Census::SettlesAt(handles, threads, 5000))
            << "handles " << handles << " -> " << Census::HandleCount() << ", threads " << threads << " -> "
            << Census::ThreadCount();
    }
    size_t TotalEvents() const {
        size_t total = 0;
        for (int32_t code : {EventStopped, EventStarted, EventDataSent, EventDataReceived, EventLogText}) {
            total += sink.Count(code);
        }
        return total;
    }

    Instrument instrument;
    CountingSink sink;
    StoredSettings settings;
    DWORD handles = 0;
    DWORD threads = 0;
};

TEST_F(Lifetime, LastReleaseFromInsideTheFinalEventOfARunningExchange) {
    Plugin::IDevImportPlugin* plugin = CreateLoadedPlugin(settings, &sink);
    std::atomic<int> destroyed{-1};
    sink.react = [&](int32_t code, uint32_t) {
        if (code == EventStopped) destroyed = plugin->Release() ? 1 : 0;
    };
    ASSERT_TRUE(plugin->StartExchange());
    ASSERT_TRUE(sink.WaitFor(EventStarted, 1, kPatience));
    ASSERT_TRUE(instrument.Send(std::vector<uint8_t>(3000, 0x33)));
    ASSERT_TRUE(sink.WaitForReceived(3000, kPatience));
    plugin->StopExchange();
    ASSERT_TRUE(sink.WaitForEnds(1, kPatience));
    for (int i = 0; i < 500 && destroyed < 0; ++i) Sleep(10);
    EXPECT_EQ(destroyed, 1);
    ExpectSilenceAfterTheEnd();
}

// Each exchange's final event starts the next one; the last reference goes
// while the last of them runs.
TEST_F(Lifetime, ExchangesRestartedFromTheirFinalEventThenReleasedWhileRunning) {
    constexpr size_t kExchanges = 20;
    Plugin::IDevImportPlugin* plugin = CreateLoadedPlugin(settings, &sink);
    std::atomic<size_t> restarts{0};
    sink.react = [&](int32_t code, uint32_t) {
        if (code == EventStopped && sink.Count(EventStopped) < kExchanges && plugin->StartExchange()) ++restarts;
    };
    ASSERT_TRUE(plugin->StartExchange());
    for (size_t exchange = 1; exchange <= kExchanges; ++exchange) {
        ASSERT_TRUE(sink.WaitFor(EventStarted, exchange, kPatience)) << "exchange " << exchange;
        if (exchange < kExchanges) plugin->StopExchange();
    }
    EXPECT_TRUE(plugin->Release());
    EXPECT_EQ(restarts, kExchanges - 1);
    EXPECT_EQ(sink.Count(EventStarted), kExchanges);
    EXPECT_EQ(sink.Count(EventStopped), kExchanges - 1) << "the last one ends silently";
    ExpectSilenceAfterTheEnd();
}

}  // namespace
