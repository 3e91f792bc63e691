#pragma once
#include <atomic>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>
#include "Capture.h"
#include "CommandLine.h"
#include "ExchangeSink.h"
#include "PluginLoader.h"
#include "SessionScreen.h"
#include "SettingsFile.h"
#include "TermInput.h"
#include "TransferRequest.h"

namespace DevHost {

// One run of `receive` or `term`: the plug-in's exchanges on the stored
// settings, shown on the session screen and recorded in the capture, with
// the requests given up front or the lines typed as it goes. The end of an
// exchange ends the run or, with --restart, starts the next one; a port
// that went away is waited for, an attempt a second.
class CExchangeSession final : public CExchangeView {
public:
    // typedLineEnding: term's, appended to every line typed; none for receive.
    CExchangeSession(const CommandLine& line, CSessionScreen::Data data,
                     std::optional<std::string> typedLineEnding = std::nullopt);

    // A request for the first exchange.
    void Give(const std::wstring& label, std::vector<uint8_t> bytes) { Keep(label, std::move(bytes)); }
    // The exit status.
    int Run();

    void Received(const uint8_t* data, size_t count) override;
    void Sent(const uint8_t* data, size_t count) override;
    void RequestDone(ITransferRequest* request) override;
    void Notice(const std::wstring& text) override;
    TracedEnding TracedEnd() override { return DevHost::TracedEnd(m_line); }

private:
    struct CloseFile {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };

    CTransferRequest* Keep(const std::wstring& label, std::vector<uint8_t> bytes);
    int Exchanges(CTermInput* input);
    bool StartExchange(bool retrying);
    void Take(const TypedInput& typed);
    void Quit(const std::wstring& notice);
    int Ended(const ExchangeReport& report);
    int PortMissing();
    std::wstring Status(const ExchangeReport& report, ULONGLONG now) const;
    int Conclude(int status);

    const CommandLine& m_line;
    const CSessionScreen::Data m_data;
    const std::optional<std::string> m_typedLineEnding;
    const StoredSettings m_stored;
    Capture::CCaptureWriter m_capture;
    std::unique_ptr<std::FILE, CloseFile> m_out;  // receive --out
    std::atomic<bool> m_outFailed{false};
    std::optional<CSessionScreen> m_screen;
    std::deque<std::unique_ptr<CExchangeSink>> m_sinks;
    std::mutex m_requestsLock;  // the plug-in's worker counts what went out
    std::deque<std::unique_ptr<CTransferRequest>> m_requests;
    bool m_quitting = false;    // Ctrl+C or Ctrl+]: the exchange ending now ends the run
    bool m_inputEnded = false;  // piped input is over: no next exchange
    bool m_portGone = false;    // waiting for the port to return
    // While the port is awaited, each attempt's notices are those of the
    // first: the status line counts the attempts instead.
    std::atomic<bool> m_muted{false};
    unsigned m_attempts = 0;
    ULONGLONG m_nextAttempt = 0;
    std::wstring m_endReason;   // of the latest exchange that said one
    std::wstring m_lastWord;    // said once the screen is closed
    // Last, so that it goes first: it may use every sink and request until then.
    PluginPtr m_plugin;
};

}  // namespace DevHost
