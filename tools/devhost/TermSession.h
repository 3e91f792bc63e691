#pragma once
#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include "Capture.h"
#include "CommandLine.h"
#include "CtrlCStop.h"
#include "ExchangeSink.h"
#include "InputQueue.h"
#include "TermDisplay.h"
#include "TermOptions.h"
#include "TermScreen.h"
#include "TransferRequest.h"
#include "plugin_api/IDevImportPlugin.h"

namespace DevHost {

// The exchanges of one `term` session: typed lines become requests, the
// plug-in's end of an exchange ends the session or, with --restart, starts
// the next one; a port that went away is waited for, an attempt a second.
// Keeps every sink and request it hands the plug-in, so it must outlive the
// plug-in object.
class CTermSession {
public:
    CTermSession(const CommandLine& line, const TermOptions& options, CTermScreen& screen, CTermDisplay& display,
                 Capture::CCaptureWriter& capture);

    // Until Ctrl+C, Ctrl+] or the end of an exchange that is not followed by
    // another; the exit status.
    int Run(Plugin::IDevImportPlugin& plugin, CInputQueue& input, const CCtrlCStop& ctrlC);
    // Each line that did not go out whole, as a notice.
    void NoticeUnsent();
    // What all the exchanges received and sent, for the closing line.
    std::wstring Totals() const;

private:
    struct Sending {
        std::unique_ptr<CTransferRequest> request;
        uint64_t bytesSent;
    };

    bool StartExchange(Plugin::IDevImportPlugin& plugin, bool retrying);
    void Take(Plugin::IDevImportPlugin& plugin, const TypedInput& typed);
    void Send(Plugin::IDevImportPlugin& plugin, const std::wstring& line);
    void CountSent(const uint8_t* data, size_t count);
    int Ended(const ExchangeReport& report);
    int PortMissing();
    bool AnyStarted() const;
    std::wstring Status(const ExchangeReport& report, ULONGLONG now) const;

    const CommandLine& m_line;
    const TermOptions& m_options;
    const int32_t m_waitSeconds;
    const std::wstring m_portName;
    CTermScreen& m_screen;
    CTermDisplay& m_display;
    Capture::CCaptureWriter& m_capture;
    std::deque<std::unique_ptr<CExchangeSink>> m_sinks;
    mutable std::mutex m_sendingLock;  // the plug-in's worker counts what went out
    std::deque<Sending> m_sending;
    bool m_quitting = false;    // Ctrl+C or Ctrl+]: the exchange ending now ends the session
    bool m_inputEnded = false;  // piped input is over: no next exchange
    bool m_portGone = false;    // waiting for the port to return
    std::shared_ptr<std::atomic<bool>> m_attemptMuted;
    unsigned m_attempts = 0;
    ULONGLONG m_nextAttempt = 0;
};

}  // namespace DevHost
