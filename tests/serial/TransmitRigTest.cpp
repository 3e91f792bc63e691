// Sending the host's requests on a real line: what the instrument receives,
// what the host is told, and a line that stops taking bytes.
#include <gtest/gtest.h>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <thread>
#include "FakeRequest.h"
#include "RigExchange.h"
#include "plugin/CreatePlugin.h"
#include "serial/LineRecord.h"
#include "serial/Transmit.h"
#include "RecordingSettings.h"

namespace {

constexpr DWORD kPatience = 20000;

// Drops the plug-in before the requests and the sink it may still use.
struct Released {
    void operator()(Plugin::IDevImportPlugin* plugin) const { plugin->Release(); }
};

std::vector<uint8_t> Joined(std::initializer_list<const std::vector<uint8_t>*> parts) {
    std::vector<uint8_t> all;
    for (const auto* part : parts) all.insert(all.end(), part->begin(), part->end());
    return all;
}

void PrintRate(const char* what, size_t bytes, ULONGLONG milliseconds) {
    std::printf("%s: %zu bytes in %llu ms, %.0f bytes/s\n", what, bytes, milliseconds,
                milliseconds ? bytes * 1000.0 / milliseconds : 0.0);
}

class TransmitOnTheRig : public RigExchange {
protected:
    void TearDown() override {
        control.StopExchange();
        instrument.StopReading();
    }

    void Start(size_t exchange = 1) {
        ASSERT_TRUE(StartAfterTheLastEnd([this] { return RigExchange::Start(); }));
        ASSERT_TRUE(sink.WaitFor(EventStarted, kPatience, exchange));
    }

    void Stop(size_t exchange = 1) {
        control.StopExchange();
        ASSERT_TRUE(sink.WaitFor(EventStopped, kPatience, exchange));
    }

    ULONGLONG TickOf(ITransferRequest* request) const {
        for (const auto& event : sink.Events()) {
            if (event.request == request) return event.tick;
        }
        return 0;
    }
};

TEST_F(TransmitOnTheRig, LineThatKeepsUpGetsTheWholeRequestChunkByChunk) {
    CFakeRequest& request = Request(RequestBytes(150000));
    instrument.StartReading();
    Start();
    ULONGLONG queued = GetTickCount64();
    control.Queue(&request);
    ASSERT_TRUE(sink.WaitFor(RequestDone, kPatience));
    PrintRate("150000-byte request", request.bytes.size(), TickOf(&request) - queued);
    EXPECT_EQ(sink.SentCounts(), (std::vector<size_t>{65536, 65536, 18928}));
    EXPECT_EQ(sink.Codes(), (std::vector<int32_t>{EventStarted, EventDataSent, EventDataSent, EventDataSent,
                                                  RequestDone}));
    EXPECT_EQ(sink.Sent(), request.bytes);
    ASSERT_TRUE(instrument.WaitForBytes(request.bytes.size(), kPatience));
    Sleep(200);
    EXPECT_EQ(instrument.StopReading(), request.bytes);
    Stop();
}

TEST_F(TransmitOnTheRig, LargeRequestRate) {
    CFakeRequest& request = Request(RequestBytes(4 << 20));
    instrument.StartReading();
    Start();
    ULONGLONG queued = GetTickCount64();
    control.Queue(&request);
    ASSERT_TRUE(sink.WaitFor(RequestDone, kPatience));
    ULONGLONG done = TickOf(&request);
    ASSERT_TRUE(instrument.WaitForBytes(request.bytes.size(), kPatience));
    PrintRate("4 MiB request", request.bytes.size(), done - queued);
    EXPECT_EQ(instrument.StopReading(), request.bytes);
    EXPECT_EQ(sink.Sent(), request.bytes);
    Stop();
}

TEST_F(TransmitOnTheRig, RequestsGoInQueueOrderEachAfterTheOnesEnd) {
    CFakeRequest& first = Request(RequestBytes(100000, 1));
    CFakeRequest& second = Request(RequestBytes(70000, 2));
    control.Queue(&first);
    control.Queue(&second);
    instrument.StartReading();
    Start();
    ASSERT_TRUE(sink.WaitFor(RequestDone, kPatience, 2));
    std::vector<std::pair<int32_t, ITransferRequest*>> order;
    for (const auto& event : sink.Events()) order.emplace_back(event.code, event.request);
    EXPECT_EQ(order, (std::vector<std::pair<int32_t, ITransferRequest*>>{
                         {EventStarted, nullptr}, {EventDataSent, nullptr}, {EventDataSent, nullptr},
                         {RequestDone, &first}, {EventDataSent, nullptr}, {EventDataSent, nullptr},
                         {RequestDone, &second}}));
    auto both = Joined({&first.bytes, &second.bytes});
    ASSERT_TRUE(instrument.WaitForBytes(both.size(), kPatience));
    EXPECT_EQ(instrument.StopReading(), both);
    Stop();
}

// The instrument stops reading and the cable's buffers fill: the write
// stays pending with nothing moving, is given up after six half-second
// steps (plus the chunk's line time where the driver does not count a
// pending write, as Wine's pseudo-terminal does not) and cancelled, and
// what went out is what the instrument finds.
TEST_F(TransmitOnTheRig, HeldLineGivesTheChunkUpAndReportsWhatWentOut) {
    CFakeRequest& request = Request(RequestBytes(300000));
    Start();
    ULONGLONG queued = GetTickCount64();
    control.Queue(&request);
    ASSERT_TRUE(sink.WaitFor(RequestDone, kPatience));
    ULONGLONG heldFor = TickOf(&request) - queued;
    auto reported = sink.Sent();
    std::printf("held line: request done after %llu ms, %zu bytes reported sent\n", heldFor, reported.size());
    EXPECT_GE(heldFor, 2900u);
    EXPECT_LE(heldFor, Serial::LineRecord::Milliseconds(Serial::Transmit::kChunkSize, RigLine()) + 4000);
    EXPECT_LT(reported.size(), request.bytes.size());
    EXPECT_EQ(sink.Count(RequestDone), 1u);

    auto received = instrument.ReadUntilQuiet(500);
    std::printf("held line: the instrument then read %zu bytes\n", received.size());
    ASSERT_GE(received.size(), reported.size());
    ASSERT_LE(received.size(), request.bytes.size());
    EXPECT_TRUE(std::equal(received.begin(), received.end(), request.bytes.begin())) << "an unbroken prefix";

    // The given-up chunk ends the request, not the exchange.
    ASSERT_TRUE(instrument.Send({1, 2, 3}));
    EXPECT_TRUE(sink.WaitForReceived(3, kPatience)) << "the exchange goes on";
    EXPECT_EQ(sink.Count(EventStopped), 0u);
    Stop();
}

TEST_F(TransmitOnTheRig, StopEndsTheRequestBeingSentAndTheNextExchangeSendsTheRest) {
    CFakeRequest& first = Request(RequestBytes(150000, 1));
    CFakeRequest& second = Request(RequestBytes(150000, 2));
    CFakeRequest& third = Request(RequestBytes(150000, 3));
    for (CFakeRequest* request : {&first, &second, &third}) control.Queue(request);
    sink.react = [&](const RecordedEvent& event) {
        if (event.code == EventDataSent && sink.Count(EventDataSent) == 1) control.StopExchange();
    };
    instrument.StartReading();
    Start();
    ASSERT_TRUE(sink.WaitFor(EventStopped, kPatience));
    std::vector<std::pair<int32_t, ITransferRequest*>> order;
    for (const auto& event : sink.Events()) order.emplace_back(event.code, event.request);
    EXPECT_EQ(order, (std::vector<std::pair<int32_t, ITransferRequest*>>{
                         {EventStarted, nullptr}, {EventDataSent, nullptr}, {RequestDone, &first},
                         {EventStopped, nullptr}}));
    EXPECT_EQ(second.calls, 0);

    Start(2);
    ASSERT_TRUE(sink.WaitFor(RequestDone, kPatience, 3));
    EXPECT_LE(TickOf(&second), TickOf(&third));
    std::vector<uint8_t> firstChunk(first.bytes.begin(), first.bytes.begin() + 65536);
    auto expected = Joined({&firstChunk, &second.bytes, &third.bytes});
    ASSERT_TRUE(instrument.WaitForBytes(expected.size(), kPatience));
    Sleep(200);
    EXPECT_EQ(instrument.StopReading(), expected);
    Stop(2);
}

// Received bytes wait in the driver while a chunk is written, and are read
// between chunks' requests: neither direction loses or reorders a byte. The
// instrument sends in pieces the rig's pseudo-terminal can hold (about 4 KB;
// a Windows driver's queue holds the 1 MiB asked for), each once the host
// has the one before, so its own writes never wait on a full line.
TEST_F(TransmitOnTheRig, FullDuplexBothDirectionsArriveCompleteAndInOrder) {
    constexpr size_t kPiece = 2048;
    CFakeRequest& request = Request(RequestBytes(400000));
    const auto stream = RequestBytes(400000, 99);
    instrument.StartReading();
    Start();
    ULONGLONG begun = GetTickCount64();
    std::atomic<bool> streamed{false};
    std::thread sender([&] {
        for (size_t sent = 0; sent < stream.size(); sent += kPiece) {
            const size_t piece = std::min(kPiece, stream.size() - sent);
            if (!instrument.Send(std::vector<uint8_t>(stream.begin() + sent, stream.begin() + sent + piece)) ||
                !sink.WaitForReceived(sent + piece, kPatience)) {
                return;
            }
        }
        streamed = true;
    });
    control.Queue(&request);
    bool done = sink.WaitFor(RequestDone, kPatience);
    bool received = sink.WaitForReceived(stream.size(), kPatience);
    sender.join();
    ASSERT_TRUE(done && received && streamed);
    ASSERT_TRUE(instrument.WaitForBytes(request.bytes.size(), kPatience));
    PrintRate("full duplex, both directions", request.bytes.size() + stream.size(), GetTickCount64() - begun);
    EXPECT_EQ(instrument.StopReading(), request.bytes);
    EXPECT_EQ(sink.Received(), stream);
    EXPECT_EQ(sink.Sent(), request.bytes);
    Stop();
}

// Through the plug-in's table: only requests to send are queued, and one
// queued before the exchange goes in its first turn.
TEST(PluginTransmitOnTheRig, QueuedWhileIdleGoesInTheFirstTurnAndOthersNeverReachTheLine) {
    PurgePluginPort();
    CRigInstrument instrument;
    ASSERT_TRUE(instrument.IsOpen());
    Fakes::CRecordingSettingsReader reader;
    reader.strings[L"PORT"] = PluginPortName();
    reader.ints[L"BAUDRATE"] = 115200;
    CRecordingSink sink;
    CFakeRequest other{RequestBytes(100, 5), 3};
    CFakeRequest toSend{RequestBytes(100, 6)};

    std::unique_ptr<Plugin::IDevImportPlugin, Released> owner(CreatePlugin());
    Plugin::IDevImportPlugin* plugin = owner.get();
    plugin->LoadSettings(&reader);
    plugin->SetEventSink(&sink);
    EXPECT_FALSE(plugin->QueueTransferRequest(&other));
    EXPECT_TRUE(plugin->QueueTransferRequest(&toSend));
    instrument.StartReading();
    ASSERT_TRUE(plugin->StartExchange());
    ASSERT_TRUE(sink.WaitFor(RequestDone, kPatience));
    auto events = sink.Events();
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].code, EventStarted);
    EXPECT_EQ(events[2].request, &toSend);
    EXPECT_LT(events[2].tick - events[0].tick, 1000u);
    ASSERT_TRUE(instrument.WaitForBytes(toSend.bytes.size(), kPatience));
    Sleep(200);
    EXPECT_EQ(instrument.StopReading(), toSend.bytes);
    plugin->StopExchange();
    ASSERT_TRUE(sink.WaitFor(EventStopped, kPatience));
    EXPECT_TRUE(owner.release()->Release());
}

}  // namespace
