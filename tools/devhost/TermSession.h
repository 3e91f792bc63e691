#pragma once
#include <cstdint>
#include <deque>
#include <memory>
#include "Capture.h"
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
// the next one. Keeps every sink and request it hands the plug-in, so it
// must outlive the plug-in object.
class CTermSession {
public:
    CTermSession(const TermOptions& options, int32_t waitSeconds, CTermScreen& screen, CTermDisplay& display,
                 Capture::CCaptureWriter& capture);

    // Until Ctrl+C, Ctrl+] or the end of an exchange that is not followed by
    // another; the exit status.
    int Run(Plugin::IDevImportPlugin& plugin, CInputQueue& input, const CCtrlCStop& ctrlC);
    // What all the exchanges received and sent, for the closing line.
    std::wstring Totals() const;

private:
    bool StartExchange(Plugin::IDevImportPlugin& plugin);
    void Take(Plugin::IDevImportPlugin& plugin, const TypedInput& typed);
    void Send(Plugin::IDevImportPlugin& plugin, const std::wstring& line);
    int Ended(const ExchangeReport& report);

    const TermOptions& m_options;
    const int32_t m_waitSeconds;
    CTermScreen& m_screen;
    CTermDisplay& m_display;
    Capture::CCaptureWriter& m_capture;
    std::deque<std::unique_ptr<CExchangeSink>> m_sinks;
    std::deque<std::unique_ptr<CTransferRequest>> m_requests;
    bool m_quitting = false;    // Ctrl+C or Ctrl+]: the exchange ending now ends the session
    bool m_inputEnded = false;  // piped input is over: no next exchange
};

}  // namespace DevHost
