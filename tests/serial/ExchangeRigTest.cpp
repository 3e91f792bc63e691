// Whole exchanges on a real line: what the host receives, when it ends.
#include <gtest/gtest.h>
#include <cstdio>
#include <numeric>
#include "RigExchange.h"

namespace {

constexpr DWORD kPatience = 10000;

class ExchangeOnTheRig : public RigExchange {
protected:
    void StartAndWaitForTheStart() {
        ASSERT_TRUE(Start());
        ASSERT_TRUE(sink.WaitFor(EventStarted, kPatience));
    }

    // Stops the exchange; returns how long EventStopped took.
    ULONGLONG StopAndMeasure() {
        ULONGLONG start = GetTickCount64();
        EXPECT_FALSE(control.StopExchange());
        EXPECT_TRUE(sink.WaitFor(EventStopped, kPatience));
        return sink.Events().back().tick - start;
    }
};

std::vector<uint8_t> Pattern(size_t size) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + i / 256);
    return bytes;
}

TEST_F(ExchangeOnTheRig, QuietExchangeRunsUntilStoppedAndStopsWithinATurn) {
    StartAndWaitForTheStart();
    EXPECT_FALSE(sink.WaitFor(EventStopped, 1500));
    ULONGLONG latency = StopAndMeasure();
    std::printf("stop latency on a quiet line: %llu ms\n", latency);
    EXPECT_LE(latency, 300u);
    EXPECT_EQ(sink.Codes(), (std::vector<int32_t>{EventStarted, EventStopped}));
}

TEST_F(ExchangeOnTheRig, StopEndsTheExchangeWhileTheInstrumentStreams) {
    StartAndWaitForTheStart();
    instrument.StartStreaming();
    ASSERT_TRUE(sink.WaitForReceived(200000, kPatience));
    ULONGLONG latency = StopAndMeasure();
    instrument.StopStreaming();
    std::printf("stop latency during a stream: %llu ms\n", latency);
    EXPECT_LE(latency, 300u);
    auto received = sink.Received();
    for (size_t i = 0; i < received.size(); ++i) {
        ASSERT_EQ(received[i], static_cast<uint8_t>(i)) << "at byte " << i;
    }
}

// An instrument that never pauses (64 bytes every 5 ms, about a 115200-baud
// line) and a host whose data callback takes a few milliseconds, as one
// that parses what it receives: the driver always has bytes queued. A
// request queued meanwhile still goes out within a listening turn, and
// every received byte arrives once, in order.
TEST_F(ExchangeOnTheRig, ARequestGoesOutWithinATurnWhileTheInstrumentStreams) {
    sink.react = [](const RecordedEvent& event) {
        if (event.code == EventDataReceived) Sleep(8);
    };
    StartAndWaitForTheStart();
    instrument.StartReading();
    instrument.StartStreaming(64, 5);
    Sleep(1000);
    CFakeRequest& request = Request(Pattern(8));
    const ULONGLONG queued = GetTickCount64();
    control.Queue(&request);
    const bool arrived = instrument.WaitForBytes(request.bytes.size(), 300);
    const ULONGLONG took = GetTickCount64() - queued;
    Sleep(300);
    instrument.StopStreaming();
    EXPECT_TRUE(arrived) << "the request reached the instrument after " << took << " ms";
    StopAndMeasure();
    EXPECT_EQ(instrument.StopReading(), request.bytes);
    auto received = sink.Received();
    ASSERT_GT(received.size(), 6400u);
    for (size_t i = 0; i < received.size(); ++i) {
        ASSERT_EQ(received[i], static_cast<uint8_t>(i)) << "at byte " << i;
    }
}

TEST_F(ExchangeOnTheRig, BurstArrivesCompleteAndInOrderAsDataThenLogPairs) {
    StartAndWaitForTheStart();
    const auto sent = Pattern(100000);
    ULONGLONG sendStart = GetTickCount64();
    ASSERT_TRUE(instrument.Send(sent));
    ASSERT_TRUE(sink.WaitForReceived(sent.size(), kPatience));
    StopAndMeasure();

    auto events = sink.Events();
    ASSERT_GE(events.size(), 4u);
    ASSERT_EQ(events.front().code, EventStarted);
    ASSERT_EQ(events.back().code, EventStopped);
    for (size_t i = 1; i + 1 < events.size(); i += 2) {
        ASSERT_EQ(events[i].code, EventDataReceived);
        ASSERT_EQ(events[i + 1].code, EventLogText);
        EXPECT_EQ(events[i + 1].data, events[i].data);
        EXPECT_LE(events[i].data.size(), 65536u);
    }
    EXPECT_EQ(sink.Received(), sent);
    ULONGLONG span = events[events.size() - 2].tick - sendStart;
    std::printf("100000 bytes in %zu blocks, %llu ms from the first byte sent to the last received\n",
                (events.size() - 2) / 2, span);
}

TEST_F(ExchangeOnTheRig, EveryByteValuePassesUnchanged) {
    StartAndWaitForTheStart();
    std::vector<uint8_t> sent(256 * 4);
    std::iota(sent.begin(), sent.begin() + 256, uint8_t{0});
    for (size_t i = 256; i < sent.size(); ++i) sent[i] = sent[i % 256];
    ASSERT_TRUE(instrument.Send(sent));
    ASSERT_TRUE(sink.WaitForReceived(sent.size(), kPatience));
    StopAndMeasure();
    EXPECT_EQ(sink.Received(), sent);
}

class IdleTimeout : public ExchangeOnTheRig, public ::testing::WithParamInterface<int32_t> {};

TEST_P(IdleTimeout, EndsBetweenNAndNPlusOneSecondsAfterTheLastBlock) {
    const int32_t seconds = GetParam();
    target.waitSeconds = seconds;
    StartAndWaitForTheStart();
    EXPECT_FALSE(sink.WaitFor(EventStopped, 1500)) << "no limit before the first data";
    ASSERT_TRUE(instrument.Send({1, 2, 3}));
    ASSERT_TRUE(sink.WaitForReceived(3, kPatience));
    ASSERT_TRUE(sink.WaitFor(EventStopped, (seconds + 3) * 1000));
    auto events = sink.Events();
    ULONGLONG lastBlock = events[events.size() - 2].tick;
    ULONGLONG quiet = events.back().tick - lastBlock;
    EXPECT_GE(quiet, seconds * 1000u - 100);
    EXPECT_LE(quiet, (seconds + 1) * 1000u + 300);
}

INSTANTIATE_TEST_SUITE_P(WaitTimes, IdleTimeout, ::testing::Values(1, 2));

TEST_F(ExchangeOnTheRig, StartDuringAnExchangeIsRefused) {
    StartAndWaitForTheStart();
    EXPECT_FALSE(Start());
    StopAndMeasure();
    EXPECT_EQ(sink.Count(EventStarted), 1u);
}

TEST_F(ExchangeOnTheRig, NextExchangeStartedFromTheFinalEventReopensThePort) {
    std::atomic<bool> restarted{false};
    sink.react = [&](const RecordedEvent& event) {
        if (event.code == EventStopped && sink.Count(EventStopped) == 1) restarted = Start();
    };
    StartAndWaitForTheStart();
    control.StopExchange();
    ASSERT_TRUE(sink.WaitFor(EventStarted, kPatience, 2));
    EXPECT_TRUE(restarted);
    ASSERT_TRUE(instrument.Send({42}));
    EXPECT_TRUE(sink.WaitForReceived(1, kPatience));
    control.StopExchange();
    EXPECT_TRUE(sink.WaitFor(EventStopped, kPatience, 2));
}

}  // namespace
