// Both directions for a long time: the host sends requests of mixed sizes to
// an instrument that echoes them; the echo of one request streams in while
// the next small ones go out. Every byte must arrive once, in order, both
// ways.
#include <gtest/gtest.h>
#include <cstdio>
#include <deque>
#include <memory>
#include <random>
#include "RecordingSink.h"
#include "EchoInstrument.h"
#include "RigPlugin.h"
#include "RigPorts.h"

namespace {

constexpr size_t kMiB = 1024 * 1024;
constexpr size_t kLargestRequest = 200 * 1024;
constexpr size_t kRequestsInFlight = 4;
// What the rig's pseudo-terminals hold while the host is busy sending.
constexpr size_t kEchoWhileSending = 2048;
constexpr DWORD kPatience = 60000;

class CSoakRequest final : public ITransferRequest {
public:
    explicit CSoakRequest(std::vector<uint8_t> data) : bytes(std::move(data)) {}
    std::vector<uint8_t> bytes;
    std::atomic<bool> done{false};

    void HostSlot1() override {}
    void HostSlot2() override {}
    int32_t GetKind() override { return 4; }
    const uint8_t* GetData() override { return bytes.data(); }
    int32_t GetSize() override { return static_cast<int32_t>(bytes.size()); }
};

// Mostly small and middle-sized requests, with whole and split chunks among
// the large ones.
size_t RequestSize(std::mt19937& random) {
    switch (random() % 4) {
    case 0: return 1 + random() % 64;
    case 1: return 1 + random() % 4096;
    case 2: return 1 + random() % 65536;
    default: return 1 + random() % kLargestRequest;
    }
}

TEST(Soak, BothDirectionsArriveWholeAndInOrder) {
    const size_t total = (LongRun() ? 64 : 8) * kMiB;
    PurgePluginPort();
    CEchoInstrument instrument;
    ASSERT_TRUE(instrument.IsOpen());
    CRecordingSink sink{CRecordingSink::Keep::CountsOnly};
    std::atomic<size_t> requestsDone{0};
    sink.react = [&](const RecordedEvent& event) {
        if (event.code != RequestDone) return;
        static_cast<CSoakRequest*>(event.request)->done = true;
        ++requestsDone;
    };
    Fakes::CRecordingSettingsReader settings = RigSettings();
    Plugin::IDevImportPlugin* plugin = CreateLoadedPlugin(settings, &sink);
    ASSERT_TRUE(plugin->StartExchange());
    ASSERT_TRUE(sink.WaitFor(EventStarted, 10000));

    std::mt19937 random(64);
    std::deque<std::unique_ptr<CSoakRequest>> inFlight;
    uint64_t sentChecksum = 0;
    size_t queued = 0;
    size_t requests = 0;
    const ULONGLONG start = GetTickCount64();
    ULONGLONG lastProgress = start;
    uint64_t echoAllowed = 0;
    while (queued < total || !inFlight.empty()) {
        while (!inFlight.empty() && inFlight.front()->done) {
            echoAllowed += inFlight.front()->bytes.size();
            inFlight.pop_front();
            lastProgress = GetTickCount64();
        }
        // A request's echo may come back while the next one is sent only
        // when it is small enough to wait in the line's buffers.
        const bool quiet = inFlight.empty();
        if (quiet || echoAllowed - sink.ReceivedBytes() <= kEchoWhileSending) instrument.AllowEcho(echoAllowed);
        const bool echoPending = sink.ReceivedBytes() + kEchoWhileSending < instrument.BytesReceived();
        if (queued < total && inFlight.size() < kRequestsInFlight && !echoPending) {
            std::vector<uint8_t> bytes(std::min(RequestSize(random), total - queued));
            for (auto& byte : bytes) byte = static_cast<uint8_t>(random());
            sentChecksum = StreamChecksum(sentChecksum, bytes.data(), bytes.size());
            queued += bytes.size();
            inFlight.push_back(std::make_unique<CSoakRequest>(std::move(bytes)));
            ASSERT_TRUE(plugin->QueueTransferRequest(inFlight.back().get()));
            ++requests;
            continue;
        }
        ASSERT_LT(GetTickCount64() - lastProgress, kPatience) << "no request done for a minute";
        Sleep(1);
    }
    instrument.AllowEcho(total);
    ASSERT_TRUE(sink.WaitForReceived(total, kPatience)) << sink.ReceivedBytes() << " of " << total << " echoed";
    const double seconds = double(GetTickCount64() - start) / 1000.0;
    plugin->StopExchange();
    ASSERT_TRUE(sink.WaitForEnds(1, 10000));
    EXPECT_TRUE(plugin->Release());

    EXPECT_EQ(requestsDone, requests);
    EXPECT_EQ(sink.SentBytes(), total);
    EXPECT_EQ(sink.SentChecksum(), sentChecksum) << "what the plug-in reported as sent";
    EXPECT_EQ(instrument.BytesReceived(), total);
    EXPECT_EQ(instrument.ReceivedChecksum(), sentChecksum) << "what reached the instrument";
    EXPECT_EQ(sink.ReceivedBytes(), total);
    EXPECT_EQ(sink.ReceivedChecksum(), sentChecksum) << "what came back to the host";
    std::printf("%zu MiB each way in %zu requests, %.1f s: %.2f MB/s each way\n", total / kMiB, requests, seconds,
                double(total) / 1e6 / seconds);
}

}  // namespace
