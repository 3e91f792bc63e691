#include <cstdio>
#include <memory>
#include "Capture.h"
#include "CommandLine.h"
#include "ConsoleOutput.h"
#include "CtrlCStop.h"
#include "ExchangeSink.h"
#include "PluginLoader.h"
#include "SessionScreen.h"
#include "SettingsFile.h"
#include "TraceReader.h"

namespace DevHost {
namespace {

struct CloseFile {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, CloseFile>;

// --send and --say, in the order given.
bool BuildRequests(const CommandLine& line, std::vector<std::unique_ptr<CTransferRequest>>& requests) {
    for (const auto& [option, value] : line.options) {
        const bool isFile = option == L"--send";
        if (!isFile && option != L"--say") continue;
        std::vector<uint8_t> bytes;
        std::wstring error;
        if (!(isFile ? ReadTransferFile(value, bytes, error) : DecodeSayText(value, bytes, error))) {
            Complain(error);
            return false;
        }
        requests.push_back(std::make_unique<CTransferRequest>(isFile ? value : L"\"" + value + L"\"", std::move(bytes)));
    }
    return true;
}

// Without --text or --hex the data is shown as text unless it goes to a
// file, so a bare `devhost receive` shows what arrives.
CSessionScreen::Data ShownData(const CommandLine& line) {
    if (line.Has(L"--hex")) return CSessionScreen::Data::Hex;
    if (line.Has(L"--text") || !line.Has(L"--out")) return CSessionScreen::Data::AsItCame;
    return CSessionScreen::Data::Hidden;
}

int Conclude(const CommandLine& line, const ExchangeReport& report, bool stoppedByCtrlC, bool outFileFailed,
             bool captureFailed) {
    if (report.end == ExchangeEnd::PortNotOpened) {
        Complain(WhyPortNotOpened(line) + L"; the plug-in says: " + report.pluginMessage);
        return ExitPortNotOpened;
    }
    int status = report.end == ExchangeEnd::DeviceGone ? ExitDeviceGone : ExitOk;
    const auto incomplete = [&status](const std::wstring& what) {
        Complain(what);
        if (status == ExitOk) status = ExitIncomplete;
    };
    for (const RequestProgress& progress : report.requests) {
        if (progress.done && progress.request->BytesSent() == progress.request->Size()) continue;
        incomplete(progress.request->Label() + L" was not sent whole: " +
                   std::to_wstring(progress.request->BytesSent()) + L" of " +
                   std::to_wstring(progress.request->Size()) + L" bytes");
    }
    if (outFileFailed) incomplete(L"received bytes could not all be written to the output file");
    if (captureFailed) incomplete(L"the capture file could not be written whole");
    Print(stderr, L"received " + Counted(report.bytesIn, L"byte") + L" in " + Counted(report.blocksIn, L"block") +
                      L", sent " + Counted(report.bytesOut, L"byte") + L"; ended: " +
                      (stoppedByCtrlC ? L"stopped by Ctrl+C" : report.endReason) + L"\n");
    return status;
}

}  // namespace

int RunReceive(const CommandLine& line) {
    if (!TakesAll(line, 0)) return ExitUsage;
    if (line.Has(L"--text") && line.Has(L"--hex")) {
        Complain(L"--text and --hex exclude each other");
        return ExitUsage;
    }
    // Requests and sink outlive the plug-in object, which may use them
    // until it is destroyed; they are therefore declared before it.
    std::vector<std::unique_ptr<CTransferRequest>> requests;
    if (!BuildRequests(line, requests)) return ExitUsage;
    FilePtr out;
    if (line.Has(L"--out")) {
        out.reset(_wfopen(line.Value(L"--out").c_str(), L"wb"));
        if (!out) {
            Complain(L"cannot create " + line.Value(L"--out"));
            return ExitUsage;
        }
    }
    const StoredSettings stored = ReadStoredSettings(line.settingsPath);
    Capture::CCaptureWriter capture;
    std::wstring error;
    if (line.Has(L"--capture") &&
        !capture.Open(line.Value(L"--capture"), "devhost receive on " + ToUtf8(DescribeStored(stored)), error)) {
        Complain(error);
        return ExitUsage;
    }
    CSessionScreen screen(ShownData(line), false);
    bool outFileFailed = false;
    CExchangeSink sink(
        [&](const uint8_t* data, size_t count, uint64_t) {
            capture.Record(Capture::Direction::In, data, count);
            if (out && std::fwrite(data, 1, count, out.get()) != count) outFileFailed = true;
            screen.Received(data, count);
        },
        [&](const std::wstring& text) { screen.Notice(text); },
        [&](const uint8_t* data, size_t count) { capture.Record(Capture::Direction::Out, data, count); },
        [&line] { return TracedEnd(line); });

    PluginPtr plugin = OpenPluginWithSettings(line);
    if (!plugin) return ExitPluginFailed;
    for (const auto& request : requests) {
        sink.Track(*request);
        if (!plugin->QueueTransferRequest(request.get())) {
            Complain(L"the plug-in refused to queue " + request->Label());
            return ExitPluginFailed;
        }
    }
    plugin->SetEventSink(&sink);
    CCtrlCStop ctrlC(*plugin);
    if (!plugin->StartExchange()) {
        Complain(L"the plug-in refused to start an exchange");
        return ExitPluginFailed;
    }
    bool stopSaid = false;
    while (!sink.WaitForEnd(kStatusIntervalMs)) {
        screen.SetStatus(FormatStatus(sink.Report(), GetTickCount64(), stored.waitSeconds));
        if (ctrlC.StopAsked() && !stopSaid) screen.Notice(L"stopping the exchange (Ctrl+C again ends devhost at once)");
        stopSaid = stopSaid || ctrlC.StopAsked();
    }
    screen.Close();
    if (out && std::fflush(out.get()) != 0) outFileFailed = true;
    return Conclude(line, sink.Report(), ctrlC.StopAsked(), outFileFailed, !capture.Healthy());
}

}  // namespace DevHost
