#include "TermSession.h"
#include "ExitCodes.h"
#include "StatusLine.h"

namespace DevHost {
namespace {

constexpr std::chrono::milliseconds kInputWait{50};
constexpr ULONGLONG kStatusIntervalMs = 250;
// The plug-in takes a start only once the previous exchange's final event
// has returned on its worker, which can be a moment after the end is seen.
constexpr int kStartAttempts = 200;
constexpr DWORD kStartRetryMs = 10;

}  // namespace

CTermSession::CTermSession(const TermOptions& options, int32_t waitSeconds, CTermScreen& screen,
                           CTermDisplay& display, Capture::CCaptureWriter& capture)
    : m_options(options), m_waitSeconds(waitSeconds), m_screen(screen), m_display(display), m_capture(capture) {}

int CTermSession::Run(Plugin::IDevImportPlugin& plugin, CInputQueue& input, const CCtrlCStop& ctrlC) {
    if (!StartExchange(plugin)) return ExitPluginFailed;
    ULONGLONG statusShown = 0;
    for (;;) {
        TypedInput typed{TypedInput::Line, {}};
        if (input.Pop(typed, kInputWait)) Take(plugin, typed);
        if (!m_quitting && ctrlC.StopAsked()) {
            m_quitting = true;
            m_display.Notice(L"Ctrl+C: term ends");
        }
        const CExchangeSink& sink = *m_sinks.back();
        ULONGLONG now = GetTickCount64();
        if (now - statusShown >= kStatusIntervalMs) {
            m_screen.SetStatus(FormatStatus(sink.Report(), now, m_waitSeconds));
            statusShown = now;
        }
        if (!sink.WaitForEnd(0)) continue;
        int status = Ended(sink.Report());
        if (status >= 0) return status;
        if (!StartExchange(plugin)) return ExitPluginFailed;
    }
}

void CTermSession::Take(Plugin::IDevImportPlugin& plugin, const TypedInput& typed) {
    if (typed.kind == TypedInput::Line) {
        Send(plugin, typed.line);
    } else if (typed.kind == TypedInput::End) {
        m_inputEnded = true;
    } else if (!m_quitting) {
        m_quitting = true;
        m_display.Notice(L"Ctrl+]: term ends");
        plugin.StopExchange();
    }
}

// The exit status, or -1 when the session goes on with the next exchange.
int CTermSession::Ended(const ExchangeReport& report) {
    if (report.end == ExchangeEnd::PortNotOpened) {
        m_display.Notice(L"the port could not be opened; term ends");
        return ExitPortNotOpened;
    }
    if (m_quitting) return ExitOk;
    std::wstring why = L"the plug-in ended the exchange (no data for more than " + std::to_wstring(m_waitSeconds) +
                       L" s)";
    if (m_options.restart && !m_inputEnded) {
        m_display.Notice(why + L"; starting the next");
        return -1;
    }
    m_display.Notice(why + (m_options.restart ? L"; the input has ended" : L"") + L"; term ends");
    return ExitOk;
}

bool CTermSession::StartExchange(Plugin::IDevImportPlugin& plugin) {
    m_sinks.push_back(std::make_unique<CExchangeSink>(
        [this](const uint8_t* data, size_t count, uint64_t) {
            m_capture.Record(Capture::Direction::In, data, count);
            m_display.Received(data, count);
        },
        [this](const std::wstring& text) { m_display.Notice(text); },
        [this](const uint8_t* data, size_t count) {
            m_capture.Record(Capture::Direction::Out, data, count);
            if (m_options.echo) m_display.Sent(data, count);
        }));
    plugin.SetEventSink(m_sinks.back().get());
    for (int attempt = 0; attempt < kStartAttempts; ++attempt) {
        if (plugin.StartExchange()) return true;
        Sleep(kStartRetryMs);
    }
    m_display.Notice(L"the plug-in refused to start an exchange");
    return false;
}

void CTermSession::Send(Plugin::IDevImportPlugin& plugin, const std::wstring& line) {
    std::vector<uint8_t> bytes;
    std::wstring error;
    if (!EncodeTypedLine(line, m_options.hex, m_options.lineEnding, bytes, error)) {
        m_display.Notice(L"not sent: \"" + line + L"\": " + error);
        return;
    }
    if (bytes.empty()) return;
    m_requests.push_back(std::make_unique<CTransferRequest>(line, std::move(bytes)));
    if (!plugin.QueueTransferRequest(m_requests.back().get())) {
        m_display.Notice(L"the plug-in refused to queue: " + line);
    }
}

std::wstring CTermSession::Totals() const {
    uint64_t bytesIn = 0, blocksIn = 0, bytesOut = 0;
    for (const auto& sink : m_sinks) {
        ExchangeReport report = sink->Report();
        bytesIn += report.bytesIn;
        blocksIn += report.blocksIn;
        bytesOut += report.bytesOut;
    }
    return L"received " + std::to_wstring(bytesIn) + L" bytes in " + std::to_wstring(blocksIn) + L" blocks, sent " +
           std::to_wstring(bytesOut) + L" bytes in " + std::to_wstring(m_sinks.size()) + L" exchange" +
           (m_sinks.size() == 1 ? L"" : L"s");
}

}  // namespace DevHost
