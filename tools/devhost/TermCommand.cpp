#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include "Capture.h"
#include "CommandLine.h"
#include "ConsoleInput.h"
#include "ConsoleOutput.h"
#include "CtrlCStop.h"
#include "ExchangeSink.h"
#include "PluginLoader.h"
#include "SessionScreen.h"
#include "SettingsFile.h"
#include "TraceReader.h"

namespace DevHost {
namespace {

constexpr std::chrono::milliseconds kInputWait{50};
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

struct TermOptions {
    std::string lineEnding;  // appended to every line typed
    bool hex;                // lines typed are hex bytes
    bool echo;
    bool restart;            // start the next exchange when the plug-in ends one
};

// With --hex the line is the bytes typed, so nothing is appended unless
// --eol asks for it.
bool ReadTermOptions(const CommandLine& line, TermOptions& options) {
    static const struct {
        const wchar_t* name;
        const char* bytes;
    } kEndings[] = {{L"none", ""}, {L"cr", "\r"}, {L"lf", "\n"}, {L"crlf", "\r\n"}};
    options = {line.Has(L"--hex") ? "" : "\r\n", line.Has(L"--hex"), line.Has(L"--echo"), line.Has(L"--restart")};
    if (!line.Has(L"--eol")) return true;
    for (const auto& ending : kEndings) {
        if (line.Value(L"--eol") == ending.name) {
            options.lineEnding = ending.bytes;
            return true;
        }
    }
    Complain(L"--eol takes none, cr, lf or crlf, not \"" + line.Value(L"--eol") + L"\"");
    return false;
}

bool IsConsoleInput(HANDLE input) {
    DWORD mode = 0;
    return GetConsoleMode(input, &mode) != 0;
}

// The exchanges of one `term` session: typed lines become requests, the
// plug-in's end of an exchange ends the session or, with --restart, starts
// the next one; a port that went away is waited for, an attempt a second.
// Keeps every sink and request it hands the plug-in, so it must outlive the
// plug-in object.
class CTermSession {
public:
    CTermSession(const CommandLine& line, const TermOptions& options, CSessionScreen& screen,
                 Capture::CCaptureWriter& capture);

    // Until Ctrl+C, Ctrl+] or the end of an exchange that is not followed by
    // another; the exit status.
    int Run(Plugin::IDevImportPlugin& plugin, CInputQueue& input, const CCtrlCStop& ctrlC);
    void NoticeUnsent();
    // What all the exchanges received and sent, for the closing line.
    std::wstring Totals() const;

private:
    bool StartExchange(Plugin::IDevImportPlugin& plugin, bool retrying);
    void Take(Plugin::IDevImportPlugin& plugin, const TypedInput& typed);
    void Send(Plugin::IDevImportPlugin& plugin, const std::wstring& line);
    int Ended(const ExchangeReport& report);
    int PortMissing();
    bool AnyStarted() const;
    std::wstring Status(const ExchangeReport& report, ULONGLONG now) const;

    const CommandLine& m_line;
    const TermOptions& m_options;
    const int32_t m_waitSeconds;
    const std::wstring m_portName;
    CSessionScreen& m_screen;
    Capture::CCaptureWriter& m_capture;
    std::deque<std::unique_ptr<CExchangeSink>> m_sinks;
    std::mutex m_requestsLock;  // the plug-in's worker counts what went out
    std::deque<std::unique_ptr<CTransferRequest>> m_requests;
    bool m_quitting = false;    // Ctrl+C or Ctrl+]: the exchange ending now ends the session
    bool m_inputEnded = false;  // piped input is over: no next exchange
    bool m_portGone = false;    // waiting for the port to return
    std::shared_ptr<std::atomic<bool>> m_attemptMuted;
    unsigned m_attempts = 0;
    ULONGLONG m_nextAttempt = 0;
};

CTermSession::CTermSession(const CommandLine& line, const TermOptions& options, CSessionScreen& screen,
                           Capture::CCaptureWriter& capture)
    : m_line(line),
      m_options(options),
      m_waitSeconds(ReadStoredSettings(line.settingsPath).waitSeconds),
      m_portName(ReadStoredSettings(line.settingsPath).port),
      m_screen(screen),
      m_capture(capture) {}

int CTermSession::Run(Plugin::IDevImportPlugin& plugin, CInputQueue& input, const CCtrlCStop& ctrlC) {
    if (!StartExchange(plugin, false)) return ExitPluginFailed;
    ULONGLONG statusShown = 0;
    for (;;) {
        TypedInput typed{TypedInput::Line, {}};
        if (input.Pop(typed, kInputWait)) Take(plugin, typed);
        if (!m_quitting && ctrlC.StopAsked()) {
            m_quitting = true;
            m_screen.Notice(L"Ctrl+C: term ends");
        }
        const CExchangeSink& sink = *m_sinks.back();
        const bool ended = sink.WaitForEnd(0);
        const ExchangeReport report = sink.Report();
        const ULONGLONG now = GetTickCount64();
        if (m_portGone && report.started && !ended &&
            (report.bytesIn > 0 || now - report.startedTick >= kBackAfterMs)) {
            m_portGone = false;
            *m_attemptMuted = false;
            m_screen.Notice(m_portName + L" is back");
        }
        if (now - statusShown >= kStatusIntervalMs) {
            m_screen.SetStatus(Status(report, now));
            statusShown = now;
        }
        if (!ended) continue;
        if (m_portGone) {
            if (m_quitting || m_inputEnded) return ExitDeviceGone;
            if (now < m_nextAttempt) continue;
        } else {
            const int status = Ended(report);
            if (status >= 0) return status;
            if (m_portGone) continue;
        }
        if (!StartExchange(plugin, m_portGone)) return ExitPluginFailed;
    }
}

bool CTermSession::AnyStarted() const {
    for (const auto& sink : m_sinks) {
        if (sink->Report().started) return true;
    }
    return false;
}

std::wstring CTermSession::Status(const ExchangeReport& report, ULONGLONG now) const {
    if (!m_portGone) return FormatStatus(report, now, m_waitSeconds);
    return L"waiting for " + m_portName + L" to return: attempt " + std::to_wstring(m_attempts);
}

void CTermSession::Take(Plugin::IDevImportPlugin& plugin, const TypedInput& typed) {
    if (typed.kind == TypedInput::Line) {
        Send(plugin, typed.line);
    } else if (typed.kind == TypedInput::End) {
        m_inputEnded = true;
    } else if (!m_quitting) {
        m_quitting = true;
        m_screen.Notice(L"Ctrl+]: term ends");
        plugin.StopExchange();
    }
}

// The exit status, or -1 when the session goes on.
int CTermSession::Ended(const ExchangeReport& report) {
    const bool goOn = m_options.restart && !m_inputEnded && !m_quitting;
    if (report.end == ExchangeEnd::PortNotOpened) {
        const std::wstring why = WhyPortNotOpened(m_line);
        const bool anyStarted = AnyStarted();
        if (!anyStarted || !goOn) {
            m_screen.Notice(why + L"; the plug-in says: " + report.pluginMessage + L"; term ends");
            return anyStarted ? ExitDeviceGone : ExitPortNotOpened;
        }
        m_screen.Notice(why);
        return PortMissing();
    }
    const bool gone = report.end == ExchangeEnd::DeviceGone;
    if (m_quitting) return gone ? ExitDeviceGone : ExitOk;
    if (!goOn) {
        m_screen.Notice(std::wstring(m_options.restart ? L"the input has ended; " : L"") + L"term ends");
        return gone ? ExitDeviceGone : ExitOk;
    }
    if (gone) return PortMissing();
    m_screen.Notice(L"starting the next exchange");
    return -1;
}

// A surveyor who re-plugs the receiver keeps the session.
int CTermSession::PortMissing() {
    m_portGone = true;
    m_attempts = 0;
    m_nextAttempt = GetTickCount64() + kReturnAttemptMs;
    m_screen.Notice(L"waiting for " + m_portName + L" to return: an attempt a second; Ctrl+C ends term");
    return -1;
}

bool CTermSession::StartExchange(Plugin::IDevImportPlugin& plugin, bool retrying) {
    // While the port is awaited, each attempt's notices are those of the
    // first: the status line counts the attempts instead.
    auto muted = std::make_shared<std::atomic<bool>>(retrying);
    m_attemptMuted = muted;
    m_sinks.push_back(std::make_unique<CExchangeSink>(
        [this](const uint8_t* data, size_t count, uint64_t) {
            m_capture.Record(Capture::Direction::In, data, count);
            m_screen.Received(data, count);
        },
        [this, muted](const std::wstring& text) {
            if (!*muted) m_screen.Notice(text);
        },
        [this](const uint8_t* data, size_t count) {
            m_capture.Record(Capture::Direction::Out, data, count);
            std::lock_guard<std::mutex> hold(m_requestsLock);
            for (const auto& request : m_requests) request->CountIfHolds(data, count);
            if (m_options.echo) m_screen.Sent(data, count);
        },
        [this] { return TracedEnd(m_line); }));
    plugin.SetEventSink(m_sinks.back().get());
    if (retrying) {
        ++m_attempts;
        m_nextAttempt = GetTickCount64() + kReturnAttemptMs;
    }
    for (int attempt = 0; attempt < kStartAttempts; ++attempt) {
        if (plugin.StartExchange()) return true;
        Sleep(kStartRetryMs);
    }
    m_screen.Notice(L"the plug-in refused to start an exchange");
    return false;
}

void CTermSession::Send(Plugin::IDevImportPlugin& plugin, const std::wstring& line) {
    std::vector<uint8_t> bytes;
    std::wstring error;
    if (!EncodeTypedLine(line, m_options.hex, m_options.lineEnding, bytes, error)) {
        m_screen.Notice(L"not sent: \"" + line + L"\": " + error);
        return;
    }
    if (bytes.empty()) return;
    CTransferRequest* request = nullptr;
    {
        std::lock_guard<std::mutex> hold(m_requestsLock);
        m_requests.push_back(std::make_unique<CTransferRequest>(line, std::move(bytes)));
        request = m_requests.back().get();
    }
    // A request queued between exchanges goes out in the next one.
    if (!plugin.QueueTransferRequest(request)) m_screen.Notice(L"the plug-in refused to queue: " + line);
}

void CTermSession::NoticeUnsent() {
    std::lock_guard<std::mutex> hold(m_requestsLock);
    for (const auto& request : m_requests) {
        if (request->BytesSent() == request->Size()) continue;
        m_screen.Notice(L"not sent: \"" + request->Label() + L"\" (" + std::to_wstring(request->BytesSent()) +
                        L" of " + Counted(request->Size(), L"byte") + L")");
    }
}

std::wstring CTermSession::Totals() const {
    uint64_t bytesIn = 0, blocksIn = 0, bytesOut = 0, exchanges = 0;
    for (const auto& sink : m_sinks) {
        ExchangeReport report = sink->Report();
        if (!report.started) continue;
        bytesIn += report.bytesIn;
        blocksIn += report.blocksIn;
        bytesOut += report.bytesOut;
        ++exchanges;
    }
    if (exchanges == 0) return L"no exchange ran: nothing received or sent";
    return L"received " + Counted(bytesIn, L"byte") + L" in " + Counted(blocksIn, L"block") + L", sent " +
           Counted(bytesOut, L"byte") + L" in " + Counted(exchanges, L"exchange");
}

}  // namespace

int RunTerm(const CommandLine& line) {
    TermOptions options;
    if (!TakesAll(line, 0) || !ReadTermOptions(line, options)) return ExitUsage;
    Capture::CCaptureWriter capture;
    std::wstring error;
    if (line.Has(L"--capture") &&
        !capture.Open(line.Value(L"--capture"),
                      "devhost term on " + ToUtf8(DescribeStored(ReadStoredSettings(line.settingsPath))), error)) {
        Complain(error);
        return ExitUsage;
    }
    CSessionScreen screen(options.hex ? CSessionScreen::Data::Hex : CSessionScreen::Data::Visible,
                          line.Has(L"--timestamps"));
    auto input = std::make_shared<CInputQueue>();
    // Declared before the plug-in: the session holds the sinks and requests
    // the plug-in may use until it is destroyed.
    CTermSession session(line, options, screen, capture);
    PluginPtr plugin = OpenPluginWithSettings(line);
    if (!plugin) return ExitPluginFailed;
    CCtrlCStop stopOnCtrlC(*plugin);
    HANDLE stdinHandle = GetStdHandle(STD_INPUT_HANDLE);
    std::optional<CConsoleLineEditor> editor;
    if (IsConsoleInput(stdinHandle)) {
        editor.emplace(stdinHandle, *input, [&screen](const std::wstring& typed) { screen.SetInput(typed); });
    } else {
        StartStreamLineReader(stdinHandle, input);
    }
    int status = session.Run(*plugin, *input, stopOnCtrlC);
    if (editor) {
        editor->Stop();
        if (!editor->UnsentLine().empty()) screen.Notice(L"not sent, still being typed: \"" + editor->UnsentLine() + L"\"");
    }
    session.NoticeUnsent();
    screen.Close();
    if (status == ExitOk && !capture.Healthy()) {
        Complain(L"the capture file could not be written whole");
        status = ExitIncomplete;
    }
    Print(stderr, session.Totals() + L"\n");
    return status;
}

}  // namespace DevHost
