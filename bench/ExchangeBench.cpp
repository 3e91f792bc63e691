// The exchange on the null-modem rig, each figure next to a baseline of bare
// Win32 calls measured in the same run on the same ports. A measurement to
// read, not a test: ./run.sh bench starts the rig and runs it.
//   exchange_bench [results.md]   appends its rows to the Markdown table
#include <windows.h>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>
#include "RigPorts.h"
#include "plugin/CreatePlugin.h"
#include "serial/DevicePath.h"

namespace {

constexpr size_t kReceiveBytes = 16 * 1024 * 1024;
constexpr size_t kThroughputBytes = 4 * 1024 * 1024;
constexpr DWORD kChunk = 65536;
// Each figure is the median of this many runs: single runs under Wine
// scatter widely (transmit runs by a factor of five).
constexpr int kRuns = 5;
constexpr int kLatencySamples = 200;
constexpr int kStopSamples = 30;
constexpr DWORD kIdleMilliseconds = 10000;
constexpr DWORD kPatience = 60000;

double Now() {
    LARGE_INTEGER frequency, counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return double(counter.QuadPart) * 1000.0 / double(frequency.QuadPart);
}

double CpuMilliseconds(const FILETIME& kernel, const FILETIME& user) {
    auto ticks = [](const FILETIME& t) { return (ULONGLONG(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
    return double(ticks(kernel) + ticks(user)) / 10000.0;
}

double CpuMilliseconds() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    return CpuMilliseconds(kernel, user);
}

double ThreadCpuMilliseconds() {
    FILETIME created, exited, kernel, user;
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
    return CpuMilliseconds(kernel, user);
}

// CPU the process spends outside the calling thread (the sender) between
// Begin and End: the receiving side's cost, Wine's helper threads included.
class ReceiverCpu {
public:
    void Begin() {
        m_process = CpuMilliseconds();
        m_thread = ThreadCpuMilliseconds();
    }
    double End() const { return (CpuMilliseconds() - m_process) - (ThreadCpuMilliseconds() - m_thread); }

private:
    double m_process = 0;
    double m_thread = 0;
};

double Percentile(std::vector<double> samples, double fraction) {
    std::sort(samples.begin(), samples.end());
    return samples[std::min(samples.size() - 1, size_t(fraction * double(samples.size())))];
}

// Time stamps of the events the bench waits for; no copies of the data.
class TimingSink : public IDeviceEventSink {
public:
    std::atomic<uint64_t> received{0};
    std::atomic<uint64_t> sent{0};
    std::atomic<int> started{0};
    std::atomic<int> stopped{0};
    std::atomic<int> requestsDone{0};
    std::atomic<double> lastReceived{0};
    std::atomic<double> lastStopped{0};

    void OnEvent(int32_t code, const void*, uint32_t count) override {
        const double now = Now();
        switch (code) {
        case EventStarted: ++started; break;
        case EventStopped:
            lastStopped = now;
            ++stopped;
            break;
        case EventDataReceived:
            received += count;
            lastReceived = now;
            break;
        case EventDataSent: sent += count; break;
        default: break;
        }
    }
    void OnRequestDone(ITransferRequest*) override { ++requestsDone; }
};

// Polls gently: a spinning bench thread would take a core from the worker
// it measures. Times come from the sink's own stamps, not from this loop.
template <typename Done>
bool WaitUntil(Done done, DWORD milliseconds = kPatience) {
    const ULONGLONG deadline = GetTickCount64() + milliseconds;
    while (!done()) {
        if (GetTickCount64() > deadline) return false;
        Sleep(1);
    }
    return true;
}

class StoredSettings : public ISettingsReader {
public:
    BSTR ReadString(const wchar_t*, const wchar_t*) override { return SysAllocString(PluginPortName().c_str()); }
    int32_t ReadInt(const wchar_t* key, int32_t defaultValue) override {
        if (std::wstring(key) == L"BAUDRATE") return 115200;
        if (std::wstring(key) == L"WATETIME") return 3600;
        return defaultValue;
    }
};

class Request : public ITransferRequest {
public:
    explicit Request(size_t size) : bytes(size, 0xA5) {}
    std::vector<uint8_t> bytes;
    void HostSlot1() override {}
    void HostSlot2() override {}
    int32_t GetKind() override { return 4; }
    const uint8_t* GetData() override { return bytes.data(); }
    int32_t GetSize() override { return int32_t(bytes.size()); }
};

// The plug-in with an exchange running on the rig's port.
struct RunningPlugin {
    TimingSink sink;
    StoredSettings settings;
    Plugin::IDevImportPlugin* plugin = CreatePlugin();
    RunningPlugin() {
        plugin->LoadSettings(&settings);
        plugin->SetEventSink(&sink);
        plugin->StartExchange();
        WaitUntil([&] { return sink.started == 1; });
    }
    ~RunningPlugin() {
        plugin->StopExchange();
        WaitUntil([&] { return sink.stopped == 1; });
        plugin->Release();
    }
};

// The plug-in's end opened as a plain program would, with the plug-in's
// time-outs and queue sizes.
struct PlainPort {
    HANDLE port = CreateFileW(DevicePathFor(PluginPortName().c_str()).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                              nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    PlainPort() {
        DCB line = RigLine();
        SetCommState(port, &line);
        SetupComm(port, 1048576, 1048576);
        COMMTIMEOUTS timeouts{MAXDWORD, 0, 0, 500, 1};
        SetCommTimeouts(port, &timeouts);
    }
    ~PlainPort() {
        CloseHandle(event);
        CloseHandle(port);
    }
    // One overlapped transfer waited for to its end.
    DWORD Transfer(bool write, void* buffer, DWORD size) {
        OVERLAPPED record{};
        record.hEvent = event;
        ResetEvent(event);
        DWORD moved = 0;
        BOOL done = write ? WriteFile(port, buffer, size, &moved, &record) : ReadFile(port, buffer, size, &moved, &record);
        if (!done && GetLastError() == ERROR_IO_PENDING) GetOverlappedResult(port, &record, &moved, TRUE);
        return moved;
    }
};

// The receive loop a careful Win32 program writes: ask the driver what is
// queued; when nothing is, wait up to 100 ms for a character (leaving the
// wait pending across turns); then read exactly what is queued.
class CarefulReceiver {
public:
    std::atomic<uint64_t> received{0};
    std::atomic<double> lastReceived{0};

    explicit CarefulReceiver(PlainPort& plain) : m_plain(plain), m_thread([this] { Run(); }) {}
    ~CarefulReceiver() {
        m_running = false;
        m_thread.join();
        CloseHandle(m_waitEvent);
    }

private:
    void Run() {
        HANDLE port = m_plain.port;
        SetCommMask(port, EV_RXCHAR);
        std::vector<uint8_t> buffer(kChunk);
        OVERLAPPED wait{};
        wait.hEvent = m_waitEvent;
        DWORD events = 0;
        bool waiting = false;
        while (m_running) {
            COMSTAT status{};
            DWORD errors = 0;
            ClearCommError(port, &errors, &status);
            if (status.cbInQue == 0) {
                if (!waiting) {
                    ResetEvent(wait.hEvent);
                    waiting = !WaitCommEvent(port, &events, &wait) && GetLastError() == ERROR_IO_PENDING;
                    if (!waiting) continue;
                }
                if (WaitForSingleObject(wait.hEvent, 100) == WAIT_OBJECT_0) {
                    DWORD unused = 0;
                    GetOverlappedResult(port, &wait, &unused, TRUE);
                    waiting = false;
                }
                continue;
            }
            const DWORD count = m_plain.Transfer(false, buffer.data(), std::min<DWORD>(status.cbInQue, kChunk));
            received += count;
            lastReceived = Now();
        }
        SetCommMask(port, 0);
        DWORD unused = 0;
        if (waiting) GetOverlappedResult(port, &wait, &unused, TRUE);
    }

    PlainPort& m_plain;
    HANDLE m_waitEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::atomic<bool> m_running{true};
    std::thread m_thread;
};

double Median(std::vector<double> samples) { return Percentile(std::move(samples), 0.5); }

struct Row {
    std::string measure;
    double plugin;
    double baseline;
    std::string unit;
    std::string target;
    bool hasBaseline = true;
};
std::vector<Row> g_rows;

void Report(const Row& row) {
    g_rows.push_back(row);
    if (row.hasBaseline) {
        std::printf("%-44s %10.2f %-8s baseline %10.2f  ratio %.2f  (target %s)\n", row.measure.c_str(), row.plugin,
                    row.unit.c_str(), row.baseline, row.baseline ? row.plugin / row.baseline : 0.0,
                    row.target.c_str());
    } else {
        std::printf("%-44s %10.2f %-8s (target %s)\n", row.measure.c_str(), row.plugin, row.unit.c_str(),
                    row.target.c_str());
    }
}

double MegabytesPerSecond(size_t bytes, double milliseconds) { return double(bytes) / 1e3 / milliseconds; }

// One run's figures: the plug-in's and the baseline's.
struct Pair {
    double plugin;
    double baseline;
};

Row MedianRow(const std::string& measure, const std::vector<Pair>& runs, const std::string& unit,
              const std::string& target) {
    std::vector<double> plugin, baseline;
    for (const Pair& run : runs) {
        std::printf("  %-42s run: %10.2f against %10.2f %s\n", measure.c_str(), run.plugin, run.baseline, unit.c_str());
        plugin.push_back(run.plugin);
        baseline.push_back(run.baseline);
    }
    return {measure + ", median of " + std::to_string(runs.size()), Median(plugin), Median(baseline), unit, target};
}

// Throughput in MB/s and the receiving side's CPU per MB received.
struct Receiving {
    Pair rate;
    Pair cpuPerMegabyte;
};

Receiving ReceiveRun() {
    const std::vector<uint8_t> payload(kReceiveBytes, 0x3C);
    const double megabytes = double(kReceiveBytes) / 1e6;
    Receiving run{};
    {
        Instrument instrument;
        RunningPlugin running;
        ReceiverCpu cpu;
        cpu.Begin();
        const double start = Now();
        instrument.Send(payload);
        WaitUntil([&] { return running.sink.received >= kReceiveBytes; });
        run.rate.plugin = MegabytesPerSecond(kReceiveBytes, running.sink.lastReceived - start);
        run.cpuPerMegabyte.plugin = cpu.End() / megabytes;
    }
    PurgePluginPort();
    {
        Instrument instrument;
        PlainPort plain;
        CarefulReceiver receiver(plain);
        Sleep(200);
        ReceiverCpu cpu;
        cpu.Begin();
        const double start = Now();
        instrument.Send(payload);
        WaitUntil([&] { return receiver.received >= kReceiveBytes; });
        run.rate.baseline = MegabytesPerSecond(kReceiveBytes, receiver.lastReceived - start);
        run.cpuPerMegabyte.baseline = cpu.End() / megabytes;
    }
    PurgePluginPort();
    return run;
}

void ReceiveThroughput() {
    std::vector<Pair> rates, costs;
    for (int i = 0; i < kRuns; ++i) {
        const Receiving run = ReceiveRun();
        rates.push_back(run.rate);
        costs.push_back(run.cpuPerMegabyte);
    }
    Report(MedianRow("receive throughput (16 MiB)", rates, "MB/s", "ratio >= 0.95"));
    Report(MedianRow("receive CPU per MB", costs, "ms/MB", "ratio <= 1.05"));
}

Pair TransmitRun() {
    Pair run{};
    {
        Instrument instrument;
        instrument.StartReading();
        RunningPlugin running;
        // The first request waits for the end of a listening turn: a
        // latency of up to 100 ms, not a matter of throughput.
        Request first(1);
        running.plugin->QueueTransferRequest(&first);
        WaitUntil([&] { return running.sink.requestsDone == 1 && instrument.BytesRead() == 1; });
        std::vector<Request> requests(kThroughputBytes / kChunk, Request(kChunk));
        const double start = Now();
        for (auto& request : requests) running.plugin->QueueTransferRequest(&request);
        instrument.WaitForBytes(kThroughputBytes + 1, kPatience);
        run.plugin = MegabytesPerSecond(kThroughputBytes, Now() - start);
        WaitUntil([&] { return running.sink.requestsDone == int(requests.size()) + 1; });
        instrument.StopReading();
    }
    PurgePluginPort();
    {
        Instrument instrument;
        instrument.StartReading();
        PlainPort plain;
        std::vector<uint8_t> chunk(kChunk, 0xA5);
        const double start = Now();
        for (size_t sent = 0; sent < kThroughputBytes;) sent += plain.Transfer(true, chunk.data(), kChunk);
        instrument.WaitForBytes(kThroughputBytes, kPatience);
        run.baseline = MegabytesPerSecond(kThroughputBytes, Now() - start);
        instrument.StopReading();
    }
    PurgePluginPort();
    return run;
}

// Single bytes at uneven intervals; the time from the write to the block
// reaching the receiver.
template <typename Received>
double MedianEventLatency(Instrument& instrument, Received received) {
    std::vector<double> samples;
    for (int i = 0; i < kLatencySamples; ++i) {
        Sleep(5 + i % 20);
        const uint64_t before = received().first;
        const double start = Now();
        instrument.Send({uint8_t(i)});
        WaitUntil([&] { return received().first > before; });
        samples.push_back(received().second - start);
    }
    return Median(samples);
}

Pair EventLatencyRun() {
    Pair run{};
    {
        Instrument instrument;
        RunningPlugin running;
        run.plugin = MedianEventLatency(instrument, [&] {
            return std::make_pair(running.sink.received.load(), running.sink.lastReceived.load());
        });
    }
    PurgePluginPort();
    {
        Instrument instrument;
        PlainPort plain;
        CarefulReceiver receiver(plain);
        run.baseline = MedianEventLatency(instrument, [&] {
            return std::make_pair(receiver.received.load(), receiver.lastReceived.load());
        });
    }
    PurgePluginPort();
    return run;
}

Pair IdleCpuRun() {
    Pair run{};
    {
        Instrument instrument;
        RunningPlugin running;
        const double before = CpuMilliseconds();
        Sleep(kIdleMilliseconds);
        run.plugin = (CpuMilliseconds() - before) * 1000.0 / kIdleMilliseconds;
    }
    {
        Instrument instrument;
        PlainPort plain;
        CarefulReceiver receiver(plain);
        Sleep(100);
        const double before = CpuMilliseconds();
        Sleep(kIdleMilliseconds);
        run.baseline = (CpuMilliseconds() - before) * 1000.0 / kIdleMilliseconds;
    }
    PurgePluginPort();
    return run;
}

template <typename Measure>
std::vector<Pair> Runs(Measure measure) {
    std::vector<Pair> runs;
    for (int i = 0; i < kRuns; ++i) runs.push_back(measure());
    return runs;
}

// What the line is doing when the host lets go.
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
void LetGoLatency(LineState state, bool release) {
    Instrument instrument;
    if (state == LineState::ReadingABurst) instrument.StartStreaming();
    Request held(kThroughputBytes);
    std::vector<double> samples;
    for (int i = 0; i < kStopSamples; ++i) {
        TimingSink sink;
        StoredSettings settings;
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
    instrument.StopStreaming();
    const std::string what = std::string(release ? "last Release, " : "stop latency, ") + NameOf(state);
    Report({what + ", median", Percentile(samples, 0.5), 0, "ms", "< 20 ms", false});
    Report({what + ", worst", Percentile(samples, 1.0), 0, "ms", "< 150 ms", false});
}

void WriteMarkdown(const char* path) {
    FILE* file = std::fopen(path, "a");
    if (!file) return;
    for (const Row& row : g_rows) {
        if (row.hasBaseline) {
            std::fprintf(file, "| %s | %.2f %s | %.2f %s | %.2f | %s |\n", row.measure.c_str(), row.plugin,
                         row.unit.c_str(), row.baseline, row.unit.c_str(), row.baseline ? row.plugin / row.baseline : 0.0,
                         row.target.c_str());
        } else {
            std::fprintf(file, "| %s | %.2f %s | | | %s |\n", row.measure.c_str(), row.plugin, row.unit.c_str(),
                         row.target.c_str());
        }
    }
    std::fclose(file);
}

}  // namespace

int main(int argc, char** argv) {
    {
        Instrument instrument;
        if (!instrument.IsOpen()) {
            std::fprintf(stderr, "the rig's instrument port cannot be opened: start tests/rig/nullmodem.sh\n");
            return 1;
        }
    }
    PurgePluginPort();
    ReceiveThroughput();
    Report(MedianRow("transmit throughput (4 MiB, 64 KiB requests)", Runs(TransmitRun), "MB/s", "ratio >= 0.95"));
    Report(MedianRow("event latency, median", Runs(EventLatencyRun), "ms", "ratio <= 1.1"));
    for (LineState state : {LineState::Listening, LineState::ReadingABurst, LineState::WriteHeld}) {
        for (bool release : {false, true}) {
            LetGoLatency(state, release);
            PurgePluginPort();
        }
    }
    Report(MedianRow("idle CPU, 10 s quiet", Runs(IdleCpuRun), "ms/s", "ratio <= 1"));
    if (argc > 1) WriteMarkdown(argv[1]);
    return 0;
}
