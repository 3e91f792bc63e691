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

constexpr size_t kThroughputBytes = 4 * 1024 * 1024;
constexpr DWORD kChunk = 65536;
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

double CpuMilliseconds() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto ticks = [](const FILETIME& t) { return (ULONGLONG(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
    return double(ticks(kernel) + ticks(user)) / 10000.0;
}

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

void ReceiveThroughput() {
    const std::vector<uint8_t> payload(kThroughputBytes, 0x3C);
    double pluginMs = 0;
    {
        Instrument instrument;
        RunningPlugin running;
        const double start = Now();
        instrument.Send(payload);
        WaitUntil([&] { return running.sink.received >= kThroughputBytes; });
        pluginMs = running.sink.lastReceived - start;
    }
    double plainMs = 0;
    {
        Instrument instrument;
        PlainPort plain;
        std::vector<uint8_t> buffer(kChunk);
        const double start = Now();
        std::thread sender([&] { instrument.Send(payload); });
        for (size_t got = 0; got < kThroughputBytes;) got += plain.Transfer(false, buffer.data(), kChunk);
        plainMs = Now() - start;
        sender.join();
    }
    Report({"receive throughput (4 MiB)", MegabytesPerSecond(kThroughputBytes, pluginMs),
            MegabytesPerSecond(kThroughputBytes, plainMs), "MB/s", "ratio >= 0.9"});
}

void TransmitThroughput() {
    double pluginMs = 0;
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
        pluginMs = Now() - start;
        WaitUntil([&] { return running.sink.requestsDone == int(requests.size()) + 1; });
        instrument.StopReading();
    }
    double plainMs = 0;
    {
        Instrument instrument;
        instrument.StartReading();
        PlainPort plain;
        std::vector<uint8_t> chunk(kChunk, 0xA5);
        const double start = Now();
        for (size_t sent = 0; sent < kThroughputBytes;) sent += plain.Transfer(true, chunk.data(), kChunk);
        instrument.WaitForBytes(kThroughputBytes, kPatience);
        plainMs = Now() - start;
        instrument.StopReading();
    }
    Report({"transmit throughput (4 MiB, 64 KiB requests)", MegabytesPerSecond(kThroughputBytes, pluginMs),
            MegabytesPerSecond(kThroughputBytes, plainMs), "MB/s", "ratio >= 0.9"});
}

void EventLatency() {
    Instrument instrument;
    RunningPlugin running;
    std::vector<double> samples;
    for (int i = 0; i < kLatencySamples; ++i) {
        Sleep(5 + i % 20);
        const uint64_t before = running.sink.received;
        const double start = Now();
        instrument.Send({uint8_t(i)});
        WaitUntil([&] { return running.sink.received > before; });
        samples.push_back(running.sink.lastReceived - start);
    }
    Report({"event latency, median", Percentile(samples, 0.5), 0, "ms", "< 5 ms", false});
    Report({"event latency, 95th percentile", Percentile(samples, 0.95), 0, "ms", "-", false});
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

void IdleCpu() {
    double pluginCpu = 0;
    {
        Instrument instrument;
        RunningPlugin running;
        const double before = CpuMilliseconds();
        Sleep(kIdleMilliseconds);
        pluginCpu = (CpuMilliseconds() - before) * 1000.0 / kIdleMilliseconds;
    }
    double bareCpu = 0;
    {
        Instrument instrument;
        PlainPort plain;
        const double before = CpuMilliseconds();
        const ULONGLONG end = GetTickCount64() + kIdleMilliseconds;
        while (GetTickCount64() < end) {
            SetCommMask(plain.port, EV_RXCHAR);
            OVERLAPPED record{};
            record.hEvent = plain.event;
            ResetEvent(plain.event);
            DWORD events = 0;
            if (!WaitCommEvent(plain.port, &events, &record) && GetLastError() == ERROR_IO_PENDING) {
                WaitForSingleObject(plain.event, 100);
                SetCommMask(plain.port, 0);
                DWORD unused = 0;
                GetOverlappedResult(plain.port, &record, &unused, TRUE);
            }
        }
        bareCpu = (CpuMilliseconds() - before) * 1000.0 / kIdleMilliseconds;
    }
    Report({"idle CPU, 10 s quiet exchange", pluginCpu, bareCpu, "ms/s", "within 10 % of the bare wait loop"});
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
    PurgePluginPort();
    TransmitThroughput();
    PurgePluginPort();
    EventLatency();
    PurgePluginPort();
    for (LineState state : {LineState::Listening, LineState::ReadingABurst, LineState::WriteHeld}) {
        for (bool release : {false, true}) {
            LetGoLatency(state, release);
            PurgePluginPort();
        }
    }
    IdleCpu();
    if (argc > 1) WriteMarkdown(argv[1]);
    return 0;
}
