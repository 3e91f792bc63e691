// The exchange on the null-modem rig, each figure next to a baseline of bare
// Win32 calls on the same ports, plug-in and baseline runs interleaved. A
// measurement to read, not a test: ./run.sh bench starts the rig and runs it.
//   exchange_bench [results.md]   appends its rows to the Markdown table
//   exchange_bench --profile [N]  where a received block's time goes, N exchanges
// BENCH_RUNS sets the runs of each figure (default 9); BENCH_ONLY names the
// measures to take (receive, transmit, latency, roundtrip, start, letgo, idle).
#include <windows.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>
#include "BareLoop.h"
#include "BareReceiver.h"
#include "BenchClock.h"
#include "BenchInstrument.h"
#include "BenchPlugin.h"
#include "BenchPorts.h"
#include "BenchTable.h"
#include "CallProfile.h"
#include "LineEnd.h"
#include "plugin/CreatePlugin.h"
#include "win32/DevicePath.h"

namespace {

constexpr size_t kReceiveBytes = 16 * 1024 * 1024;
constexpr size_t kTransmitBytes = 16 * 1024 * 1024;
constexpr DWORD kChunk = 65536;
constexpr int kLatencySamples = 200;
constexpr int kRoundTrips = 100;
constexpr DWORD kRequestSize = 8;
constexpr int kStopSamples = 30;
constexpr DWORD kIdleMilliseconds = 10000;
// On the rig one run of either side swings by 10 to 20%: a median of five
// moved a ratio by as much as 0.1 between runs of the same code.
constexpr int kDefaultRuns = 9;

int Runs() {
    wchar_t text[16];
    const DWORD length = GetEnvironmentVariableW(L"BENCH_RUNS", text, 16);
    const int runs = length > 0 && length < 16 ? _wtoi(text) : kDefaultRuns;
    return runs > 0 ? runs : kDefaultRuns;
}

bool Chosen(const char* measure) {
    char names[256];
    const DWORD length = GetEnvironmentVariableA("BENCH_ONLY", names, sizeof names);
    return length == 0 || length >= sizeof names || std::strstr(names, measure) != nullptr;
}

const std::vector<PortPair>& Pairs() {
    static const std::vector<PortPair> pairs = BenchPairs();
    return pairs;
}

void PurgeHostEnds(size_t count) {
    for (size_t pair = 0; pair < count; ++pair) DrainPort(Pairs()[pair].host);
}

double MegabytesPerSecond(size_t bytes, double milliseconds) { return double(bytes) / 1e3 / milliseconds; }

// One run's receive figures: aggregate MB/s, the receiving side's CPU per
// MB, and the blocks the receivers read.
struct Receiving {
    double rate;
    double cpuPerMegabyte;
    uint64_t blocks;
};

// Each instrument sends bytesEach at once, on a thread of its own, into
// receivers already listening; received() and lastReceived() sum and stamp
// all of them. The CPU counted is the whole process's, Wine's helper threads
// included, less the sending threads' own.
template <typename Received, typename LastReceived>
Receiving MeasureReceive(std::vector<std::unique_ptr<CBenchInstrument>>& instruments, size_t bytesEach,
                         Received received, LastReceived lastReceived) {
    const std::vector<uint8_t> payload(bytesEach, 0x3C);
    const size_t total = bytesEach * instruments.size();
    std::atomic<double> senderCpu{0};
    Sleep(200);
    const double cpuBefore = ProcessCpuMilliseconds();
    const double start = Now();
    std::vector<std::thread> senders;
    for (auto& instrument : instruments) {
        senders.emplace_back([&, sender = instrument.get()] {
            const double before = ThreadCpuMilliseconds();
            sender->Send(payload.data(), payload.size());
            senderCpu = senderCpu + (ThreadCpuMilliseconds() - before);
        });
    }
    for (auto& sender : senders) sender.join();
    WaitUntil([&] { return received() >= total; });
    const double cpu = ProcessCpuMilliseconds() - cpuBefore - senderCpu;
    return {MegabytesPerSecond(total, lastReceived() - start), cpu / (double(total) / 1e6), 0};
}

std::vector<std::unique_ptr<CBenchInstrument>> Instruments(size_t count) {
    std::vector<std::unique_ptr<CBenchInstrument>> instruments;
    for (size_t pair = 0; pair < count; ++pair) {
        instruments.push_back(std::make_unique<CBenchInstrument>(Pairs()[pair].instrument));
    }
    return instruments;
}

// One run of each side, measure(true) being the plug-in's: the plug-in goes
// first in even runs and second in odd ones, so neither side always meets
// the rig as the other left it.
template <typename Measure>
auto BothSides(int run, Measure measure) {
    using Result = decltype(measure(true));
    if (run % 2 == 0) {
        Result plugin = measure(true);
        return std::make_pair(std::move(plugin), measure(false));
    }
    Result baseline = measure(false);
    return std::make_pair(measure(true), std::move(baseline));
}

template <typename Receiver>
Receiving ReceiveRun(size_t exchanges, const Serial::SerialApi& serial = Serial::SerialApi::System()) {
    auto instruments = Instruments(exchanges);
    std::vector<std::unique_ptr<Receiver>> receivers;
    for (size_t pair = 0; pair < exchanges; ++pair) {
        receivers.push_back(std::make_unique<Receiver>(Pairs()[pair].host, serial));
    }
    Receiving run = MeasureReceive(
        instruments, kReceiveBytes / exchanges,
        [&] {
            uint64_t sum = 0;
            for (auto& receiver : receivers) sum += receiver->Received();
            return sum;
        },
        [&] {
            double last = 0;
            for (auto& receiver : receivers) last = std::max(last, receiver->LastReceived());
            return last;
        });
    for (auto& receiver : receivers) run.blocks += receiver->Blocks();
    receivers.clear();
    PurgeHostEnds(exchanges);
    return run;
}

// Both receivers as MeasureReceive reads them.
struct PluginReceiver {
    explicit PluginReceiver(const std::wstring& port, const Serial::SerialApi& serial = Serial::SerialApi::System())
        : running(port, serial) {}
    uint64_t Received() const { return running.sink.received; }
    double LastReceived() const { return running.sink.lastReceived; }
    uint64_t Blocks() const { return running.sink.blocks; }
    RunningPlugin running;
};

struct BaselineReceiver {
    explicit BaselineReceiver(const std::wstring& port, const Serial::SerialApi& = Serial::SerialApi::System()) : bare(port) {}
    uint64_t Received() const { return bare.received; }
    double LastReceived() const { return bare.lastReceived; }
    uint64_t Blocks() const { return bare.blocks; }
    CBareReceiver bare;
};

// 16 MiB in all, shared by 1, 2 and 4 exchanges on as many pairs.
void ReceiveThroughput(CBenchTable& table, int runs) {
    for (size_t exchanges : {size_t{1}, size_t{2}, size_t{4}}) {
        if (exchanges > Pairs().size()) break;
        const std::string what = exchanges == 1 ? "1 exchange" : std::to_string(exchanges) + " exchanges at once";
        Figure rate{"receive throughput, " + what + " (16 MiB in all)", "MB/s", {}, {}, true, 0.95};
        Figure cost{"receive CPU per MB, " + what, "ms/MB", {}, {}, false, 1.05};
        for (int run = 0; run < runs; ++run) {
            const auto [plugin, baseline] = BothSides(run, [exchanges](bool plugin) {
                return plugin ? ReceiveRun<PluginReceiver>(exchanges) : ReceiveRun<BaselineReceiver>(exchanges);
            });
            std::printf("  run %d, %s: %.2f against %.2f MB/s, %.2f against %.2f ms/MB\n", run + 1, what.c_str(),
                        plugin.rate, baseline.rate, plugin.cpuPerMegabyte, baseline.cpuPerMegabyte);
            rate.plugin.push_back(plugin.rate);
            rate.baseline.push_back(baseline.rate);
            cost.plugin.push_back(plugin.cpuPerMegabyte);
            cost.baseline.push_back(baseline.cpuPerMegabyte);
        }
        table.Add(rate);
        table.Add(cost);
    }
}

// Plug-in and baseline runs of one figure, interleaved; measure(true) is
// the plug-in's run.
template <typename Measure>
Figure Interleaved(Figure figure, int runs, Measure measure) {
    for (int run = 0; run < runs; ++run) {
        const auto [plugin, baseline] = BothSides(run, measure);
        figure.plugin.push_back(plugin);
        figure.baseline.push_back(baseline);
        std::printf("  run %d, %s: %.2f against %.2f %s\n", run + 1, figure.measure.c_str(), figure.plugin.back(),
                    figure.baseline.back(), figure.unit.c_str());
    }
    return figure;
}

double TransmitRun(bool plugin) {
    const PortPair& pair = Pairs()[0];
    CBenchInstrument instrument(pair.instrument);
    instrument.StartCounting();
    double rate = 0;
    if (plugin) {
        RunningPlugin running(pair.host);
        // The first request waits for the end of a listening turn: a
        // latency of up to 100 ms, not a matter of throughput.
        CBenchRequest first(1);
        running.plugin->QueueTransferRequest(&first);
        WaitUntil([&] { return running.sink.requestsDone == 1 && instrument.Counted() == 1; });
        std::vector<CBenchRequest> requests(kTransmitBytes / kChunk, CBenchRequest(kChunk));
        const double start = Now();
        for (auto& request : requests) running.plugin->QueueTransferRequest(&request);
        instrument.AwaitCount(kTransmitBytes + 1);
        rate = MegabytesPerSecond(kTransmitBytes, Now() - start);
        WaitUntil([&] { return running.sink.requestsDone == int(requests.size()) + 1; });
    } else {
        CBareLoop bare(pair.host);
        std::vector<uint8_t> chunk(kChunk, 0xA5);
        const double start = Now();
        for (size_t sent = 0; sent < kTransmitBytes;) sent += bare.Write(chunk.data(), kChunk);
        instrument.AwaitCount(kTransmitBytes);
        rate = MegabytesPerSecond(kTransmitBytes, Now() - start);
    }
    instrument.Stop();
    DrainPort(pair.host);
    return rate;
}

// Single bytes at uneven intervals; the time from the write to the block
// reaching the receiver.
template <typename Receiver>
double MedianEventLatency(CBenchInstrument& instrument, const Receiver& receiver) {
    std::vector<double> samples;
    for (int i = 0; i < kLatencySamples; ++i) {
        Sleep(5 + i % 20);
        const uint64_t before = receiver.Received();
        const uint8_t byte = uint8_t(i);
        const double start = Now();
        instrument.Send(&byte, 1);
        WaitUntil([&] { return receiver.Received() > before; });
        samples.push_back(receiver.LastReceived() - start);
    }
    return Median(samples);
}

double EventLatencyRun(bool plugin) {
    const PortPair& pair = Pairs()[0];
    CBenchInstrument instrument(pair.instrument);
    const double latency = plugin ? MedianEventLatency(instrument, PluginReceiver(pair.host))
                                  : MedianEventLatency(instrument, BaselineReceiver(pair.host));
    DrainPort(pair.host);
    return latency;
}

// A polling host: an 8-byte request, then the instrument's 8-byte answer,
// at the host's own pace of a few milliseconds between cycles. Returns the
// times from the request to the answer's last byte.
std::vector<double> RoundTrips(bool plugin) {
    const PortPair& pair = Pairs()[0];
    CBenchInstrument instrument(pair.instrument);
    instrument.StartEchoing(kRequestSize);
    std::vector<double> samples;
    if (plugin) {
        RunningPlugin running(pair.host);
        CBenchRequest request(kRequestSize);
        for (int cycle = 1; cycle <= kRoundTrips; ++cycle) {
            Sleep(1 + cycle % 5);
            const double start = Now();
            running.plugin->QueueTransferRequest(&request);
            WaitUntil([&] {
                return running.sink.requestsDone == cycle && running.sink.received >= uint64_t(cycle) * kRequestSize;
            });
            samples.push_back(running.sink.lastReceived - start);
        }
    } else {
        CBareLoop bare(pair.host);
        std::vector<uint8_t> request(kRequestSize, 0xA5), answer(kRequestSize);
        for (int cycle = 1; cycle <= kRoundTrips; ++cycle) {
            Sleep(1 + cycle % 5);
            const double start = Now();
            bare.Write(request.data(), kRequestSize);
            for (DWORD got = 0; got < kRequestSize;) got += bare.Turn(answer.data() + got, kRequestSize - got);
            samples.push_back(Now() - start);
        }
    }
    instrument.Stop();
    DrainPort(pair.host);
    return samples;
}

void RoundTrip(CBenchTable& table, int runs) {
    Figure median{"round trip of an 8-byte request, median of 100", "ms", {}, {}, false, 1.1};
    Figure tail{"round trip of an 8-byte request, 95th percentile of 100", "ms", {}, {}, false, 1.1};
    for (int run = 0; run < runs; ++run) {
        const auto [plugin, baseline] = BothSides(run, RoundTrips);
        median.plugin.push_back(Median(plugin));
        median.baseline.push_back(Median(baseline));
        tail.plugin.push_back(Percentile(plugin, 0.95));
        tail.baseline.push_back(Percentile(baseline, 0.95));
        std::printf("  run %d, round trip: median %.2f against %.2f ms, 95th percentile %.2f against %.2f ms\n",
                    run + 1, median.plugin.back(), median.baseline.back(), tail.plugin.back(),
                    tail.baseline.back());
    }
    table.Add(median);
    table.Add(tail);
}

double IdleCpuRun(bool plugin) {
    const PortPair& pair = Pairs()[0];
    CBenchInstrument instrument(pair.instrument);
    std::unique_ptr<PluginReceiver> running;
    std::unique_ptr<BaselineReceiver> bare;
    if (plugin) {
        running = std::make_unique<PluginReceiver>(pair.host);
    } else {
        bare = std::make_unique<BaselineReceiver>(pair.host);
    }
    Sleep(100);
    const double before = ProcessCpuMilliseconds();
    Sleep(kIdleMilliseconds);
    return (ProcessCpuMilliseconds() - before) * 1000.0 / kIdleMilliseconds;
}

// What the line is doing when the host lets go.
// A port whose open connects for this long first, as an outgoing Bluetooth
// port connects to its instrument inside CreateFileW.
constexpr DWORD kConnectMilliseconds = 1500;

HANDLE WINAPI ConnectingCreateFile(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                   DWORD disposition, DWORD flags, HANDLE templateFile) {
    Sleep(kConnectMilliseconds);
    return CreateFileW(path, access, share, security, disposition, flags, templateFile);
}

const Serial::SerialApi& ConnectingApi() {
    static const Serial::SerialApi api = [] {
        Serial::SerialApi connecting = Serial::SerialApi::System();
        connecting.createFile = &ConnectingCreateFile;
        return connecting;
    }();
    return api;
}

// From StartExchange to EventStarted on the connecting port, against one
// bare open of it: a start that opened twice would take twice as long.
double StartRun(bool plugin) {
    const PortPair& pair = Pairs()[0];
    const double start = Now();
    if (!plugin) {
        const HANDLE port = ConnectingApi().createFile(Win32::DevicePathFor(pair.host.c_str()).c_str(),
                                                       GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                                       FILE_FLAG_OVERLAPPED, nullptr);
        const double opened = Now() - start;
        CloseHandle(port);
        return opened;
    }
    RunningPlugin running(pair.host, ConnectingApi());
    return running.startedAt - start;
}

enum class LineState { Listening, ReadingABurst, WriteHeld };

const char* NameOf(LineState state) {
    switch (state) {
    case LineState::Listening: return "listening";
    case LineState::ReadingABurst: return "reading a burst";
    case LineState::WriteHeld: return "write held by the line";
    }
    return "";
}

// StopExchange until EventStopped, or the last Release until it returns,
// in each state of the line.
void LetGoLatency(CBenchTable& table, LineState state, bool release) {
    const PortPair& pair = Pairs()[0];
    CBenchInstrument instrument(pair.instrument);
    if (state == LineState::ReadingABurst) instrument.StartStreaming();
    CBenchRequest held(kTransmitBytes);
    std::vector<double> samples;
    for (int i = 0; i < kStopSamples; ++i) {
        CTimingSink sink;
        CBenchSettings settings(pair.host);
        Plugin::IDevImportPlugin* plugin = CreatePlugin();
        plugin->LoadSettings(&settings);
        plugin->SetEventSink(&sink);
        plugin->StartExchange();
        WaitUntil([&] { return sink.started == 1; });
        if (state == LineState::WriteHeld) {
            // The instrument reads nothing: once the line's buffers are full
            // (at once, when an earlier sample filled them) the write stays
            // pending.
            plugin->QueueTransferRequest(&held);
            WaitUntil([&] { return sink.sent > 0; }, 500);
        }
        Sleep(20 + (i * 37) % 100);
        const double start = Now();
        if (release) {
            plugin->Release();
            samples.push_back(Now() - start);
        } else {
            plugin->StopExchange();
            WaitUntil([&] { return sink.stopped == 1; });
            samples.push_back(sink.lastStopped - start);
            plugin->Release();
        }
        if (state == LineState::WriteHeld) instrument.Purge();
    }
    instrument.Stop();
    const std::string what = std::string(release ? "last Release, " : "stop latency, ") + NameOf(state);
    table.AddAbsolute(what + ", median of 30", Percentile(samples, 0.5), "ms", 20);
    table.AddAbsolute(what + ", worst of 30", Percentile(samples, 1.0), "ms", 150);
    DrainPort(pair.host);
}

// 16 MiB through the plug-in's exchanges with every serial call counted and
// timed, then through as many bare loops, which count their blocks.
void Profile(size_t exchanges) {
    const double megabytes = double(kReceiveBytes) / 1e6;
    ResetTallies();
    const Receiving plugin = ReceiveRun<PluginReceiver>(exchanges, ProfiledApi());
    const Receiving baseline = ReceiveRun<BaselineReceiver>(exchanges);
    std::printf("%zu exchange(s), 16 MiB in all\n", exchanges);
    std::printf("plug-in:   %6.2f MB/s, %6.2f ms CPU per MB, %6llu blocks (%.0f bytes each)\n", plugin.rate,
                plugin.cpuPerMegabyte, (unsigned long long)plugin.blocks, double(kReceiveBytes) / double(plugin.blocks));
    std::printf("bare loop: %6.2f MB/s, %6.2f ms CPU per MB, %6llu blocks (%.0f bytes each)\n", baseline.rate,
                baseline.cpuPerMegabyte, (unsigned long long)baseline.blocks,
                double(kReceiveBytes) / double(baseline.blocks));
    std::printf("the plug-in's serial calls (wall time on the workers):\n");
    for (int call = 0; call < kProfiledCalls; ++call) {
        const CallTally tally = Tally(ProfiledCall(call));
        if (tally.calls == 0) continue;
        std::printf("  %-20s %8.3f per block  %8.1f us each  %8.2f ms per MB\n", NameOf(ProfiledCall(call)),
                    double(tally.calls) / double(plugin.blocks), 1000.0 * tally.milliseconds / double(tally.calls),
                    tally.milliseconds / megabytes);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (Pairs().empty() || !CBenchInstrument(Pairs()[0].instrument).IsOpen()) {
        std::fprintf(stderr, "the rig's instrument port cannot be opened: start tests/rig/nullmodem.sh\n");
        return 1;
    }
    PurgeHostEnds(Pairs().size());
    if (argc > 1 && std::strcmp(argv[1], "--profile") == 0) {
        Profile(argc > 2 ? std::clamp<size_t>(std::strtoul(argv[2], nullptr, 10), 1, Pairs().size()) : 1);
        return 0;
    }
    const int runs = Runs();
    // Unmeasured: right after the rig has restarted Wine's server, Wine's
    // own services start up for some seconds and halve either side's rate.
    ReceiveRun<PluginReceiver>(1);
    ReceiveRun<BaselineReceiver>(1);
    std::printf("each figure from %d interleaved runs of plug-in and baseline\n", runs);
    CBenchTable table;
    if (Chosen("receive")) ReceiveThroughput(table, runs);
    if (Chosen("transmit")) {
        table.Add(Interleaved({"transmit throughput (16 MiB, 64 KiB requests)", "MB/s", {}, {}, true, 0.95}, runs,
                              TransmitRun));
    }
    if (Chosen("latency")) {
        table.Add(Interleaved({"event latency, median of 200", "ms", {}, {}, false, 1.1}, runs, EventLatencyRun));
    }
    if (Chosen("roundtrip")) RoundTrip(table, runs);
    if (Chosen("start")) {
        table.Add(Interleaved({"start on a port whose open connects for 1.5 s, against one open", "ms", {}, {}, false,
                               1.1},
                              runs, StartRun));
    }
    if (Chosen("letgo")) {
        for (LineState state : {LineState::Listening, LineState::ReadingABurst, LineState::WriteHeld}) {
            for (bool release : {false, true}) LetGoLatency(table, state, release);
        }
    }
    if (Chosen("idle")) table.Add(Interleaved({"idle CPU, 10 s quiet", "ms/s", {}, {}, false, 1.0}, runs, IdleCpuRun));
    if (argc > 1) table.Append(argv[1]);
    return 0;
}
