#include "ExchangeSession.h"
#include <algorithm>
#include "ConsoleOutput.h"
#include "PluginLoader.h"
#include "TraceExplained.h"

namespace DevHost {
namespace {

// Often enough to follow a transfer, seldom enough not to load a console.
constexpr ULONGLONG kStatusIntervalMs = 250;
constexpr DWORD kInputWaitMs = 50;
// The plug-in takes a start only once the previous exchange's final event
// has returned on its worker, which can be a moment after the end is seen.
constexpr int kStartAttempts = 200;
constexpr DWORD kStartRetryMs = 10;
// A re-plugged adapter's port refuses to open for 0.5 to 2 s.
constexpr ULONGLONG kReturnAttemptMs = 1000;
// A port that opens may still be gone: Wine's, once its line is pulled,
// opens as an empty device whose exchange ends at once. It is back once an
// exchange on it brought data or lasted this long.
constexpr ULONGLONG kBackAfterMs = 1500;
constexpr int kGoOn = -1;

}  // namespace

CExchangeSession::CExchangeSession(const CommandLine& line, CSessionScreen::Data data,
                                   std::optional<std::string> typedLineEnding)
    : m_line(line),
      m_data(data),
      m_typedLineEnding(std::move(typedLineEnding)),
      m_stored(ReadStoredSettings(line.settingsPath)) {}

CTransferRequest* CExchangeSession::Keep(const std::wstring& label, std::vector<uint8_t> bytes) {
    std::lock_guard<std::mutex> hold(m_requestsLock);
    m_requests.push_back(std::make_unique<CTransferRequest>(label, std::move(bytes)));
    return m_requests.back().get();
}

int CExchangeSession::Run() {
    if (m_line.Has(L"--out")) {
        m_out.reset(_wfopen(m_line.Value(L"--out").c_str(), L"wb"));
        if (!m_out) {
            Complain(L"cannot create " + m_line.Value(L"--out"));
            return ExitUsage;
        }
    }
    std::wstring error;
    const std::string source = "devhost " + ToUtf8(m_line.command) + " on " + ToUtf8(DescribeStored(m_stored));
    if (m_line.Has(L"--capture") && !m_capture.Open(m_line.Value(L"--capture"), source, error)) {
        Complain(error);
        return ExitUsage;
    }
    PluginPtr plugin = OpenPluginWithSettings(m_line);
    if (!plugin) return ExitPluginFailed;
    for (const auto& request : m_requests) {
        if (!plugin->QueueTransferRequest(request.get())) {
            Complain(L"the plug-in refused to queue " + request->Label());
            return ExitPluginFailed;
        }
    }
    // Made once nothing more is said before it, which it would draw over.
    m_screen.emplace(m_data, m_line.Has(L"--timestamps"));
    std::optional<CTermInput> input;
    if (m_typedLineEnding) input.emplace();
    CCtrlCStop ctrlC(*plugin);
    const int status = Exchanges(*plugin, input ? &*input : nullptr, ctrlC);
    if (input && !input->Typing().empty()) Notice(L"not sent, still being typed: \"" + input->Typing() + L"\"");
    SayUnsent();
    m_screen->Close();
    return Conclude(status, ctrlC.StopAsked());
}

int CExchangeSession::Exchanges(Plugin::IDevImportPlugin& plugin, CTermInput* input, const CCtrlCStop& ctrlC) {
    if (!StartExchange(plugin, false)) return ExitPluginFailed;
    ULONGLONG statusShown = 0;
    for (;;) {
        CExchangeSink& sink = *m_sinks.back();
        if (input) {
            for (const TypedInput& typed : input->Take(kInputWaitMs)) Take(plugin, typed);
            if (input->FromKeyboard()) m_screen->SetInput(input->Typing());
        } else {
            sink.WaitForEnd(kInputWaitMs);
        }
        if (!m_quitting && ctrlC.StopAsked()) {
            m_quitting = true;
            Notice(L"Ctrl+C: " + m_line.command + L" ends; Ctrl+C again ends devhost at once");
        }
        const bool ended = sink.WaitForEnd(0);
        const ExchangeReport report = sink.Report();
        const ULONGLONG now = GetTickCount64();
        if (m_portGone && report.started && !ended &&
            (report.bytesIn > 0 || now - report.startedTick >= kBackAfterMs)) {
            m_portGone = false;
            sink.Unmute();
            Notice(m_stored.port + L" is back");
        }
        if (now - statusShown >= kStatusIntervalMs) {
            m_screen->SetStatus(Status(report, now));
            statusShown = now;
        }
        if (!ended) continue;
        if (m_portGone) {
            if (m_quitting || m_inputEnded) return ExitDeviceGone;
            if (now < m_nextAttempt) continue;
        } else {
            const int status = Ended(report);
            if (status != kGoOn) return status;
            if (m_portGone) continue;
        }
        if (!StartExchange(plugin, m_portGone)) return ExitPluginFailed;
    }
}

// "in 1234 B  out 24 B  960 B/s  quiet 0.4 s of 2 s"
std::wstring CExchangeSession::Status(const ExchangeReport& report, ULONGLONG now) const {
    if (m_portGone) return L"waiting for " + m_stored.port + L" to return: attempt " + std::to_wstring(m_attempts);
    wchar_t text[160];
    const double running = report.started ? (now - report.startedTick) / 1000.0 : 0.0;
    const double rate = running > 0.0 ? report.bytesIn / running : 0.0;
    const int length = std::swprintf(text, 160, L"in %llu B  out %llu B  %.0f B/s", report.bytesIn, report.bytesOut, rate);
    if (!report.started) {
        std::swprintf(text + length, 160 - length, L"  opening the port");
    } else if (report.lastBlockTick == 0) {
        std::swprintf(text + length, 160 - length, L"  waiting for data");
    } else {
        std::swprintf(text + length, 160 - length, L"  quiet %.1f s of %d s", (now - report.lastBlockTick) / 1000.0,
                      m_stored.waitSeconds);
    }
    return text;
}

void CExchangeSession::Take(Plugin::IDevImportPlugin& plugin, const TypedInput& typed) {
    if (typed.kind == TypedInput::End) {
        m_inputEnded = true;
        return;
    }
    if (typed.kind == TypedInput::Quit) {
        if (m_quitting) return;
        m_quitting = true;
        Notice(L"Ctrl+]: term ends");
        plugin.StopExchange();
        return;
    }
    std::vector<uint8_t> bytes;
    std::wstring error;
    if (!EncodeTypedLine(typed.line, m_line.Has(L"--hex"), *m_typedLineEnding, bytes, error)) {
        Notice(L"not sent: \"" + typed.line + L"\": " + error);
        return;
    }
    if (bytes.empty()) return;
    const std::wstring label = L"\"" + typed.line + L"\"";
    // A request queued between exchanges goes out in the next one.
    if (!plugin.QueueTransferRequest(Keep(label, std::move(bytes)))) Notice(L"the plug-in refused to queue " + label);
}

// The exit status, or kGoOn.
int CExchangeSession::Ended(const ExchangeReport& report) {
    const bool restart = m_line.Has(L"--restart");
    const bool goOn = restart && !m_inputEnded && !m_quitting;
    if (report.end == ExchangeEnd::PortNotOpened) {
        const std::wstring why = WhyPortNotOpened(m_line);
        const bool anyStarted =
            std::any_of(m_sinks.begin(), m_sinks.end(), [](const auto& sink) { return sink->Report().started; });
        if (anyStarted && goOn) {
            Notice(why);
            return PortMissing();
        }
        m_lastWord = why + L"; the plug-in says: " + report.pluginMessage;
        return anyStarted ? ExitDeviceGone : ExitPortNotOpened;
    }
    m_endReason = report.endReason;
    const bool gone = report.end == ExchangeEnd::DeviceGone;
    if (!goOn) {
        if (restart && !m_quitting) Notice(L"the input has ended; term ends");
        return gone ? ExitDeviceGone : ExitOk;
    }
    if (gone) return PortMissing();
    Notice(L"starting the next exchange");
    return kGoOn;
}

// A surveyor who re-plugs the receiver keeps the session.
int CExchangeSession::PortMissing() {
    m_portGone = true;
    m_attempts = 0;
    m_nextAttempt = GetTickCount64() + kReturnAttemptMs;
    Notice(L"waiting for " + m_stored.port + L" to return: an attempt a second; Ctrl+C ends term");
    return kGoOn;
}

// While the port is awaited, each attempt's notices are those of the first:
// the status line counts the attempts instead.
bool CExchangeSession::StartExchange(Plugin::IDevImportPlugin& plugin, bool retrying) {
    m_sinks.push_back(std::make_unique<CExchangeSink>(*this, retrying));
    plugin.SetEventSink(m_sinks.back().get());
    if (retrying) {
        ++m_attempts;
        m_nextAttempt = GetTickCount64() + kReturnAttemptMs;
    }
    for (int attempt = 0; attempt < kStartAttempts; ++attempt) {
        if (plugin.StartExchange()) return true;
        Sleep(kStartRetryMs);
    }
    m_lastWord = L"the plug-in refused to start an exchange";
    return false;
}

void CExchangeSession::Received(const uint8_t* data, size_t count) {
    m_capture.Record(Capture::Direction::In, data, count);
    if (m_out && std::fwrite(data, 1, count, m_out.get()) != count) m_outFailed = true;
    m_screen->Received(data, count);
}

void CExchangeSession::Sent(const uint8_t* data, size_t count) {
    m_capture.Record(Capture::Direction::Out, data, count);
    {
        std::lock_guard<std::mutex> hold(m_requestsLock);
        for (const auto& request : m_requests) request->CountIfHolds(data, count);
    }
    if (m_line.Has(L"--echo")) m_screen->Sent(data, count);
}

// Typed lines show as they go out, given requests once each is done.
void CExchangeSession::RequestDone(ITransferRequest* done) {
    if (m_typedLineEnding) return;
    std::lock_guard<std::mutex> hold(m_requestsLock);
    for (const auto& request : m_requests) {
        if (request.get() != done) continue;
        Notice(L"sent " + request->Label() + L": " + std::to_wstring(request->BytesSent()) + L" of " +
               Counted(request->Size(), L"byte"));
    }
}

void CExchangeSession::SayUnsent() {
    std::lock_guard<std::mutex> hold(m_requestsLock);
    for (const auto& request : m_requests) {
        if (request->BytesSent() == request->Size()) continue;
        Notice(L"not sent whole: " + request->Label() + L", " + std::to_wstring(request->BytesSent()) + L" of " +
               Counted(request->Size(), L"byte"));
        m_givenUnsent = m_givenUnsent || !m_typedLineEnding;
    }
}

int CExchangeSession::Conclude(int status, bool stoppedByCtrlC) {
    if (!m_lastWord.empty()) Complain(m_lastWord);
    if (status == ExitPortNotOpened || status == ExitPluginFailed) return status;
    bool incomplete = m_givenUnsent;
    if ((m_out && std::fflush(m_out.get()) != 0) || m_outFailed) {
        Complain(L"received bytes could not all be written to the output file");
        incomplete = true;
    }
    if (!m_capture.Healthy()) {
        Complain(L"the capture file could not be written whole");
        incomplete = true;
    }
    if (incomplete && status == ExitOk) status = ExitIncomplete;
    uint64_t bytesIn = 0, blocksIn = 0, bytesOut = 0, exchanges = 0;
    for (const auto& sink : m_sinks) {
        const ExchangeReport report = sink->Report();
        if (!report.started) continue;
        bytesIn += report.bytesIn;
        blocksIn += report.blocksIn;
        bytesOut += report.bytesOut;
        ++exchanges;
    }
    Print(stderr, L"received " + Counted(bytesIn, L"byte") + L" in " + Counted(blocksIn, L"block") + L", sent " +
                      Counted(bytesOut, L"byte") + L" in " + Counted(exchanges, L"exchange") + L"; ended: " +
                      (stoppedByCtrlC ? L"stopped by Ctrl+C" : m_endReason) + L"\n");
    return status;
}

}  // namespace DevHost
