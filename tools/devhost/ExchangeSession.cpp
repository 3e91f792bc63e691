#include "ExchangeSession.h"
#include <algorithm>
#include "ConsoleOutput.h"
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

std::atomic<bool> g_ctrlC{false};

// Ctrl+C only asks the session to stop the exchange, so the port is closed
// and EventStopped still comes; a second Ctrl+C ends devhost at once, for a
// plug-in that does not stop.
BOOL WINAPI OnConsoleControl(DWORD type) {
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT) return FALSE;
    return g_ctrlC.exchange(true) ? FALSE : TRUE;
}

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
    m_plugin = OpenPluginWithSettings(m_line);
    if (!m_plugin) return ExitPluginFailed;
    for (const auto& request : m_requests) {
        if (!m_plugin->QueueTransferRequest(request.get())) {
            Complain(L"the plug-in refused to queue " + request->Label());
            return ExitPluginFailed;
        }
    }
    // Made once nothing more is said before it, which it would draw over.
    m_screen.emplace(m_data, m_line.Has(L"--timestamps"));
    std::optional<CTermInput> input;
    if (m_typedLineEnding) input.emplace();
    g_ctrlC = false;
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    const int status = Exchanges(input ? &*input : nullptr);
    SetConsoleCtrlHandler(OnConsoleControl, FALSE);
    const std::optional<std::wstring> typing = input ? input->Typing() : std::nullopt;
    if (typing && !typing->empty()) m_screen->Notice(L"not sent, still being typed: \"" + *typing + L"\"");
    return Conclude(status);
}

int CExchangeSession::Exchanges(CTermInput* input) {
    if (!StartExchange(false)) return ExitPluginFailed;
    ULONGLONG statusShown = 0;
    std::wstring status;
    for (;;) {
        CExchangeSink& sink = *m_sinks.back();
        if (input) {
            for (const TypedInput& typed : input->Take(kInputWaitMs)) Take(typed);
        } else {
            sink.WaitForEnd(kInputWaitMs);
        }
        if (!m_quitting && g_ctrlC) Quit(L"Ctrl+C: " + m_line.command + L" ends; Ctrl+C again ends devhost at once");
        const bool ended = sink.WaitForEnd(0);
        const ExchangeReport report = sink.Report();
        const ULONGLONG now = GetTickCount64();
        if (m_portGone && report.started && !ended &&
            (report.bytesIn > 0 || now - report.startedTick >= kBackAfterMs)) {
            m_portGone = false;
            m_muted = false;
            m_screen->Notice(m_stored.port + L" is back");
        }
        if (now - statusShown >= kStatusIntervalMs) {
            status = Status(report, now);
            statusShown = now;
        }
        m_screen->SetBottom(input ? input->Typing() : std::nullopt, status);
        if (!ended) continue;
        if (m_portGone) {
            if (m_quitting || m_inputEnded) return ExitDeviceGone;
            if (now < m_nextAttempt) continue;
        } else {
            const int end = Ended(report);
            if (end != kGoOn) return end;
            if (m_portGone) continue;
        }
        if (!StartExchange(m_portGone)) return ExitPluginFailed;
    }
}

// "in 1234 B  out 24 B  960 B/s  quiet 0.4 s of 2 s"
std::wstring CExchangeSession::Status(const ExchangeReport& report, ULONGLONG now) const {
    if (m_portGone) return L"waiting for " + m_stored.port + L" to return: attempt " + std::to_wstring(m_attempts);
    wchar_t text[80];
    const double running = report.started ? (now - report.startedTick) / 1000.0 : 0.0;
    std::swprintf(text, 80, L"in %llu B  out %llu B  %.0f B/s  ", report.bytesIn, report.bytesOut,
                  running > 0.0 ? report.bytesIn / running : 0.0);
    const std::wstring counts = text;
    if (!report.started) return counts + L"opening the port";
    if (report.lastBlockTick == 0) return counts + L"waiting for data";
    std::swprintf(text, 80, L"quiet %.1f s of %d s", (now - report.lastBlockTick) / 1000.0, m_stored.waitSeconds);
    return counts + text;
}

void CExchangeSession::Take(const TypedInput& typed) {
    if (typed.kind != TypedInput::Line) {
        if (typed.kind == TypedInput::End) m_inputEnded = true;
        if (typed.kind == TypedInput::Quit && !m_quitting) Quit(L"Ctrl+]: term ends");
        return;
    }
    std::vector<uint8_t> bytes;
    std::wstring error;
    if (!EncodeTypedLine(typed.line, m_line.Has(L"--hex"), *m_typedLineEnding, bytes, error)) {
        m_screen->Notice(L"not sent: \"" + typed.line + L"\": " + error);
        return;
    }
    if (bytes.empty()) return;
    const std::wstring label = L"\"" + typed.line + L"\"";
    // A request queued between exchanges goes out in the next one.
    if (!m_plugin->QueueTransferRequest(Keep(label, std::move(bytes)))) {
        m_screen->Notice(L"the plug-in refused to queue " + label);
    }
}

void CExchangeSession::Quit(const std::wstring& notice) {
    m_quitting = true;
    m_screen->Notice(notice);
    m_plugin->StopExchange();
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
            m_screen->Notice(why);
            return PortMissing();
        }
        m_lastWord = why + L"; the plug-in says: " + report.pluginMessage;
        return anyStarted ? ExitDeviceGone : ExitPortNotOpened;
    }
    m_endReason = report.endReason;
    const bool gone = report.end == ExchangeEnd::DeviceGone;
    if (!goOn) {
        if (restart && !m_quitting) m_screen->Notice(L"the input has ended; term ends");
        return gone ? ExitDeviceGone : ExitOk;
    }
    if (gone) return PortMissing();
    m_screen->Notice(L"starting the next exchange");
    return kGoOn;
}

// A surveyor who re-plugs the receiver keeps the session.
int CExchangeSession::PortMissing() {
    m_portGone = true;
    m_attempts = 0;
    m_nextAttempt = GetTickCount64() + kReturnAttemptMs;
    m_screen->Notice(L"waiting for " + m_stored.port + L" to return: an attempt a second; Ctrl+C ends term");
    return kGoOn;
}

bool CExchangeSession::StartExchange(bool retrying) {
    m_muted = retrying;
    m_sinks.push_back(std::make_unique<CExchangeSink>(*this));
    m_plugin->SetEventSink(m_sinks.back().get());
    if (retrying) {
        ++m_attempts;
        m_nextAttempt = GetTickCount64() + kReturnAttemptMs;
    }
    for (int attempt = 0; attempt < kStartAttempts; ++attempt) {
        if (m_plugin->StartExchange()) return true;
        Sleep(kStartRetryMs);
    }
    m_lastWord = L"the plug-in refused to start an exchange";
    return false;
}

void CExchangeSession::Notice(const std::wstring& text) {
    if (!m_muted) m_screen->Notice(text);
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

// Typed lines show as they go out (--echo), given requests once each is done.
void CExchangeSession::RequestDone(ITransferRequest* done) {
    std::lock_guard<std::mutex> hold(m_requestsLock);
    for (const auto& request : m_requests) {
        if (request.get() == done && !m_typedLineEnding) m_screen->Notice(L"sent " + request->Progress());
    }
}

// A given request not sent whole leaves the exchange incomplete; a typed line
// is the user's to see.
int CExchangeSession::Conclude(int status) {
    bool incomplete = false;
    {
        std::lock_guard<std::mutex> hold(m_requestsLock);
        for (const auto& request : m_requests) {
            if (request->BytesSent() == request->Size()) continue;
            m_screen->Notice(L"not sent whole: " + request->Progress());
            incomplete = incomplete || !m_typedLineEnding;
        }
    }
    m_screen->Close();
    if (!m_lastWord.empty()) Complain(m_lastWord);
    if (status == ExitPortNotOpened || status == ExitPluginFailed) return status;
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
                      (g_ctrlC ? L"stopped by Ctrl+C" : m_endReason) + L"\n");
    return status;
}

}  // namespace DevHost
