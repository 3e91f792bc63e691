#include <cstdio>
#include <memory>
#include "Capture.h"
#include "CommandLine.h"
#include "ConsoleOutput.h"
#include "StatusLine.h"
#include "ReceivedText.h"
#include "ExchangeSink.h"
#include "CtrlCStop.h"
#include "PluginLoader.h"
#include "StoredSettings.h"
#include "TransferBytes.h"

namespace DevHost {
namespace {

struct CloseFile {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, CloseFile>;

bool BuildRequests(const ReceiveOptions& options, std::vector<std::unique_ptr<CTransferRequest>>& requests) {
    for (const TransferSource& source : options.transfers) {
        std::vector<uint8_t> bytes;
        std::wstring error;
        bool read = source.isFile ? ReadTransferFile(source.value, bytes, error)
                                  : DecodeSayText(source.value, bytes, error);
        if (!read) {
            Complain(error);
            return false;
        }
        std::wstring label = source.isFile ? source.value : L"\"" + source.value + L"\"";
        requests.push_back(std::make_unique<CTransferRequest>(label, std::move(bytes)));
    }
    return true;
}

void ShowData(CTextOut& out, DataDisplay display, const uint8_t* data, size_t count, uint64_t offset) {
    if (display == DataDisplay::Text) {
        out.Write(std::string_view(reinterpret_cast<const char*>(data), count));
    } else if (display == DataDisplay::Hex) {
        out.Write(HexDump(data, count, offset));
    }
}

// The outcome as an exit status, with the reason on stderr.
int Conclude(const CommandLine& line, const ExchangeReport& report, bool stoppedByCtrlC, bool outFileFailed,
             bool captureFailed) {
    if (report.end == ExchangeEnd::PortNotOpened) {
        Complain(WhyPortNotOpened(line) + L"; the plug-in says: " + report.pluginMessage);
        return ExitPortNotOpened;
    }
    int status = report.end == ExchangeEnd::DeviceGone ? ExitDeviceGone : ExitOk;
    for (const RequestProgress& progress : report.requests) {
        if (progress.done && progress.bytesSent == progress.request->Size()) continue;
        Complain(progress.request->Label() + L" was not sent whole: " + std::to_wstring(progress.bytesSent) + L" of " +
                 std::to_wstring(progress.request->Size()) + L" bytes");
        if (status == ExitOk) status = ExitIncomplete;
    }
    if (outFileFailed) {
        Complain(L"received bytes could not all be written to the output file");
        if (status == ExitOk) status = ExitIncomplete;
    }
    if (captureFailed) {
        Complain(L"the capture file could not be written whole");
        if (status == ExitOk) status = ExitIncomplete;
    }
    Print(stderr, L"received " + Counted(report.bytesIn, L"byte") + L" in " + Counted(report.blocksIn, L"block") +
                      L", sent " + Counted(report.bytesOut, L"byte") + L"; ended: " +
                      (stoppedByCtrlC ? L"stopped by Ctrl+C" : report.endReason) + L"\n");
    return status;
}

}  // namespace

int RunReceive(const CommandLine& line) {
    ReceiveOptions options;
    std::wstring error;
    if (!ParseReceiveOptions(line.arguments, options, error)) {
        Complain(error);
        return ExitUsage;
    }
    // Requests and sink outlive the plug-in object, which may use them
    // until it is destroyed; they are therefore declared before it.
    std::vector<std::unique_ptr<CTransferRequest>> requests;
    if (!BuildRequests(options, requests)) return ExitUsage;
    FilePtr out;
    if (!options.outPath.empty()) {
        out.reset(_wfopen(options.outPath.c_str(), L"wb"));
        if (!out) {
            Complain(L"cannot create " + options.outPath);
            return ExitUsage;
        }
    }
    Capture::CCaptureWriter capture;
    if (!options.capturePath.empty() &&
        !capture.Open(options.capturePath, "devhost receive on " + ToUtf8(DescribeStored(ReadStoredSettings(line.settingsPath))), error)) {
        Complain(error);
        return ExitUsage;
    }
    CStatusLine status;
    CTextOut shown(stdout);
    bool outFileFailed = false;
    CExchangeSink sink(
        [&](const uint8_t* data, size_t count, uint64_t offset) {
            capture.Record(Capture::Direction::In, data, count);
            if (out && std::fwrite(data, 1, count, out.get()) != count) outFileFailed = true;
            status.Clear();
            ShowData(shown, options.display, data, count, offset);
        },
        [&](const std::wstring& text) {
            status.Clear();
            Print(stderr, L"[" + text + L"]\n");
        },
        [&](const uint8_t* data, size_t count) { capture.Record(Capture::Direction::Out, data, count); },
        [&line] { return TracedEnd(line); });

    PluginPtr plugin = OpenPluginWithSettings(line);
    if (!plugin) return ExitPluginFailed;
    const int32_t waitSeconds = ReadStoredSettings(line.settingsPath).waitSeconds;
    for (const auto& request : requests) {
        sink.Track(*request);
        if (!plugin->QueueTransferRequest(request.get())) {
            Complain(L"the plug-in refused to queue " + request->Label());
            return ExitPluginFailed;
        }
    }
    plugin->SetEventSink(&sink);
    CCtrlCStop stopOnCtrlC(*plugin);
    if (!plugin->StartExchange()) {
        Complain(L"the plug-in refused to start an exchange");
        return ExitPluginFailed;
    }
    while (!sink.WaitForEnd(CStatusLine::kIntervalMilliseconds)) status.Show(FormatStatus(sink.Report(), GetTickCount64(), waitSeconds));
    status.Clear();
    shown.Finish();
    if (out && std::fflush(out.get()) != 0) outFileFailed = true;
    return Conclude(line, sink.Report(), stopOnCtrlC.StopAsked(), outFileFailed, !capture.Healthy());
}

}  // namespace DevHost
