#include <atomic>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include "Capture.h"
#include "Commands.h"
#include "ConsoleOutput.h"
#include "CtrlC.h"
#include "ExchangeSink.h"
#include "MovedPort.h"
#include "PluginLoader.h"
#include "PropertyView.h"
#include "SessionScreen.h"
#include "SettingsFile.h"
#include "TermInput.h"
#include "TracedEnd.h"
#include "TransferRequest.h"
#include "win32/UniqueHandle.h"

namespace DevHost {
namespace {

// Often enough to follow a transfer, seldom enough not to load a console.
constexpr ULONGLONG kStatusIntervalMilliseconds = 250;
constexpr DWORD kInputWaitMilliseconds = 50;
// The plug-in takes a start only once the previous exchange's final event
// has returned on its worker, which can be a moment after the end is seen.
constexpr int kStartAttempts = 200;
constexpr DWORD kStartRetryMilliseconds = 10;
// A re-plugged adapter's port refuses to open for 0.5 to 2 s.
constexpr ULONGLONG kReturnAttemptMilliseconds = 1000;
// A port that opens may still be gone: Wine's, once its line is pulled,
// opens as an empty device whose exchange ends at once. It is back once an
// exchange on it brought data or lasted this long.
constexpr ULONGLONG kBackAfterMilliseconds = 1500;
constexpr int kGoOn = -1;

// One run of `receive` or `term`: the plug-in's exchanges on the stored
// settings, one after another with --restart, shown on the session screen
// and recorded in the capture.
class CExchangeSession final : public CExchangeView {
public:
    // typedLineEnding: term's, appended to every line typed; none for receive.
    CExchangeSession(const CommandLine& line, std::optional<std::string> typedLineEnding)
        : m_line(line), m_typedLineEnding(std::move(typedLineEnding)),
          m_stored(ReadStoredSettings(line.settingsPath)) {}

    CTransferRequest* Keep(const std::wstring& label, std::vector<uint8_t> bytes) {
        std::lock_guard<std::mutex> hold(m_requestsLock);
        return &m_requests.emplace_back(label, std::move(bytes));
    }

    int Run(CSessionScreen::Data data) {
        if (m_line.Has(L"--out")) {
            m_out = Win32::CUniqueHandle(CreateFileW(m_line.Value(L"--out").c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                                     nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
            if (!m_out.IsValid()) {
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
        for (auto& request : m_requests) {
            if (!m_plugin->QueueTransferRequest(&request)) {
                Complain(L"the plug-in refused to queue " + request.Label());
                return ExitPluginFailed;
            }
        }
        // Made once nothing more is said before it, which it would draw over.
        m_screen.emplace(data, m_line.Has(L"--timestamps"));
        if (m_typedLineEnding) m_input.emplace();
        int status = ExitOk;
        {
            const CCtrlCWatch ctrlC;
            status = Exchanges();
        }
        return Conclude(status);
    }

    void Received(const uint8_t* data, size_t count) override {
        m_capture.Record(Capture::Direction::In, data, count);
        DWORD written = 0;
        if (m_out.IsValid() && !(WriteFile(m_out.Get(), data, static_cast<DWORD>(count), &written, nullptr) &&
                                 written == count)) {
            m_outFailed = true;
        }
        m_screen->Received(data, count);
    }

    void Sent(const uint8_t* data, size_t count) override {
        m_capture.Record(Capture::Direction::Out, data, count);
        if (m_line.Has(L"--echo")) m_screen->Sent(data, count);
        std::lock_guard<std::mutex> hold(m_requestsLock);
        for (auto& request : m_requests) request.CountIfHolds(data, count);
    }

    // Typed lines show as they go out (--echo), given requests once each is done.
    void RequestDone(ITransferRequest* done) override {
        if (!m_typedLineEnding) m_screen->Notice(L"sent " + static_cast<CTransferRequest*>(done)->Progress());
    }

    void Notice(const std::wstring& text) override {
        if (!m_portGone) m_screen->Notice(text);
    }

    TracedEnding TracedEnd() override { return DevHost::TracedEnd(m_stored); }

private:
    int Exchanges() {
        if (!StartExchange()) return ExitPluginFailed;
        ULONGLONG statusShown = 0;
        std::wstring status;
        for (;;) {
            if (m_input) {
                for (const std::wstring& typed : m_input->Take(kInputWaitMilliseconds)) Send(typed);
                if (m_input->QuitAsked() && !m_quitting) Quit(L"Ctrl+]: term ends");
            } else {
                m_sink->WaitForEnd(kInputWaitMilliseconds);
            }
            if (!m_quitting && CCtrlCWatch::Asked()) {
                Quit(L"Ctrl+C: " + m_line.command + L" ends; again ends devhost at once");
            }
            const bool ended = m_sink->WaitForEnd(0);
            const ExchangeReport report = m_sink->Report();
            const ULONGLONG now = GetTickCount64();
            if (m_portGone && report.started && !ended &&
                (report.bytesIn > 0 || now - report.startedTick >= kBackAfterMilliseconds)) {
                m_portGone = false;
                m_screen->Notice(m_stored.port + L" is back");
            }
            if (now - statusShown >= kStatusIntervalMilliseconds) {
                status = Status(report, now);
                statusShown = now;
            }
            m_screen->SetBottom(m_input ? m_input->Typing() : std::nullopt, status);
            if (!ended) continue;
            const int end = Ended(report);
            if (end != kGoOn) return end;
            if (m_portGone && GetTickCount64() < m_goneTick + (m_attempts + 1) * kReturnAttemptMilliseconds) continue;
            if (!StartExchange()) return ExitPluginFailed;
        }
    }

    // "in 1234 B  out 24 B  960 B/s  quiet 0.4 s of 2 s"
    std::wstring Status(const ExchangeReport& report, ULONGLONG now) const {
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

    void Send(const std::wstring& typed) {
        std::vector<uint8_t> bytes;
        std::wstring error;
        const std::wstring label = L"\"" + typed + L"\"";
        if (!EncodeTypedLine(typed, m_line.Has(L"--hex"), *m_typedLineEnding, bytes, error)) {
            m_screen->Notice(L"not sent: " + label + L": " + error);
        } else if (!bytes.empty() && !m_plugin->QueueTransferRequest(Keep(label, std::move(bytes)))) {
            m_screen->Notice(L"the plug-in refused to queue " + label);
        }
    }

    void Quit(const std::wstring& notice) {
        m_quitting = true;
        m_screen->Notice(notice);
        m_plugin->StopExchange();
    }

    // The exit status, or kGoOn.
    int Ended(const ExchangeReport& report) {
        const bool restart = m_line.Has(L"--restart");
        const bool goOn = restart && !m_quitting && m_input && !m_input->Ended();
        if (m_portGone) return goOn ? kGoOn : ExitDeviceGone;
        if (report.started) {
            m_totals.bytesIn += report.bytesIn;
            m_totals.blocksIn += report.blocksIn;
            m_totals.bytesOut += report.bytesOut;
            ++m_exchanges;
        }
        const bool notOpened = report.end == ExchangeEnd::PortNotOpened;
        if (notOpened && (m_exchanges == 0 || !goOn)) {
            m_lastWord = WhyPortNotOpened(m_stored) + L"; the plug-in says: " + report.pluginMessage;
            m_whereItWent = WhereThePortWent(m_stored.port, PortsOffered(*m_plugin), ListPortDevices());
            return m_exchanges == 0 ? ExitPortNotOpened : ExitDeviceGone;
        }
        if (!notOpened) m_endReason = report.endReason;
        const bool gone = notOpened || report.end == ExchangeEnd::DeviceGone;
        if (restart && !m_quitting && !goOn) m_screen->Notice(L"the input has ended; term ends");
        if (!goOn) return gone ? ExitDeviceGone : ExitOk;
        if (!gone) {
            m_screen->Notice(L"starting the next exchange");
            return kGoOn;
        }
        // A surveyor who re-plugs the receiver keeps the session.
        if (notOpened) m_screen->Notice(WhyPortNotOpened(m_stored));
        m_portGone = true;
        m_attempts = 0;
        m_goneTick = GetTickCount64();
        m_screen->Notice(L"waiting for " + m_stored.port + L" to return: an attempt a second; Ctrl+C ends term");
        return kGoOn;
    }

    bool StartExchange() {
        auto next = std::make_unique<CExchangeSink>(*this);
        // Once SetEventSink returns the plug-in no longer calls the old sink.
        m_plugin->SetEventSink(next.get());
        m_sink = std::move(next);
        if (m_portGone) ++m_attempts;
        for (int attempt = 0; attempt < kStartAttempts; ++attempt) {
            if (m_plugin->StartExchange()) return true;
            Sleep(kStartRetryMilliseconds);
        }
        m_lastWord = L"the plug-in refused to start an exchange";
        return false;
    }

    // A given request not sent whole leaves the run incomplete; a typed line
    // is the user's to see.
    int Conclude(int status) {
        const std::optional<std::wstring> typing = m_input ? m_input->Typing() : std::nullopt;
        if (typing && !typing->empty()) m_screen->Notice(L"not sent, still being typed: \"" + *typing + L"\"");
        bool incomplete = m_outFailed;
        // No exchange runs any more, so the worker counts nothing meanwhile.
        for (const auto& request : m_requests) {
            if (request.BytesSent() == request.Size()) continue;
            m_screen->Notice(L"not sent whole: " + request.Progress());
            incomplete = incomplete || !m_typedLineEnding;
        }
        m_screen->Close();
        if (!m_lastWord.empty()) Complain(m_lastWord);
        Print(stderr, m_whereItWent);
        if (status == ExitPortNotOpened || status == ExitPluginFailed) return status;
        if (m_outFailed) Complain(L"received bytes could not all be written to the output file");
        if (!m_capture.Healthy()) {
            Complain(L"the capture file could not be written whole");
            incomplete = true;
        }
        if (incomplete && status == ExitOk) status = ExitIncomplete;
        Print(stderr, L"received " + Counted(m_totals.bytesIn, L"byte") + L" in " +
                          Counted(m_totals.blocksIn, L"block") + L", sent " + Counted(m_totals.bytesOut, L"byte") +
                          L" in " + Counted(m_exchanges, L"exchange") + L"; ended: " +
                          (CCtrlCWatch::Asked() ? L"stopped by Ctrl+C" : m_endReason) + L"\n");
        return status;
    }

    const CommandLine& m_line;
    const std::optional<std::string> m_typedLineEnding;
    const StoredSettings m_stored;
    Capture::CCaptureWriter m_capture;
    Win32::CUniqueHandle m_out;  // receive --out
    std::atomic<bool> m_outFailed{false};
    std::optional<CSessionScreen> m_screen;
    std::optional<CTermInput> m_input;  // term's
    std::unique_ptr<CExchangeSink> m_sink;
    std::mutex m_requestsLock;  // the plug-in's worker counts what went out
    std::deque<CTransferRequest> m_requests;
    ExchangeReport m_totals;    // of the exchanges that ended
    uint64_t m_exchanges = 0;
    bool m_quitting = false;    // Ctrl+C or Ctrl+]: the exchange ending now ends the run
    // While the port is awaited, each attempt's notices are those of the
    // first: the status line counts the attempts instead.
    std::atomic<bool> m_portGone{false};
    unsigned m_attempts = 0;
    ULONGLONG m_goneTick = 0;  // attempts are made a second apart from it
    std::wstring m_endReason;  // of the latest exchange that said one
    std::wstring m_lastWord;   // said once the screen is closed
    std::wstring m_whereItWent;  // of a port not present, said after the last word
    // Last, so that it goes first: it may use the sink and every request until then.
    PluginPtr m_plugin;
};

}  // namespace

int RunReceive(const CommandLine& line) {
    if (!TakesAll(line, 0)) return ExitUsage;
    if (line.Has(L"--text") && line.Has(L"--hex")) {
        Complain(L"--text and --hex exclude each other");
        return ExitUsage;
    }
    // Without --text or --hex the data is shown as text unless it goes to a
    // file, so a bare `devhost receive` shows what arrives.
    using Data = CSessionScreen::Data;
    const bool asText = line.Has(L"--text") || !line.Has(L"--out");
    CExchangeSession session(line, {});
    for (const auto& [option, value] : line.options) {
        const bool isFile = option == L"--send";
        if (!isFile && option != L"--say") continue;
        std::vector<uint8_t> bytes;
        std::wstring error;
        if (!(isFile ? ReadTransferFile(value, bytes, error) : DecodeSayText(value, bytes, error))) {
            Complain(error);
            return ExitUsage;
        }
        session.Keep(isFile ? value : L"\"" + value + L"\"", std::move(bytes));
    }
    return session.Run(line.Has(L"--hex") ? Data::Hex : asText ? Data::AsItCame : Data::Hidden);
}

int RunTerm(const CommandLine& line) {
    if (!TakesAll(line, 0)) return ExitUsage;
    static const std::map<std::wstring, std::string> kEndings{
        {L"none", ""}, {L"cr", "\r"}, {L"lf", "\n"}, {L"crlf", "\r\n"}};
    const bool hex = line.Has(L"--hex");
    // With --hex the line is the bytes typed, so nothing is appended unless
    // --eol asks for it.
    const auto ending = kEndings.find(line.Has(L"--eol") ? line.Value(L"--eol") : hex ? L"none" : L"crlf");
    if (ending == kEndings.end()) {
        Complain(L"--eol takes none, cr, lf or crlf, not \"" + line.Value(L"--eol") + L"\"");
        return ExitUsage;
    }
    return CExchangeSession(line, ending->second).Run(hex ? CSessionScreen::Data::Hex : CSessionScreen::Data::Visible);
}

}  // namespace DevHost
