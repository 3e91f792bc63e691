#include "ExchangeSink.h"
#include "ConsoleOutput.h"

namespace DevHost {

CExchangeSink::CExchangeSink(ReceivedBytes received, Notice notice, SentBytes sent, TracedEnd tracedEnd)
    : m_received(std::move(received)),
      m_notice(std::move(notice)),
      m_sent(std::move(sent)),
      m_tracedEnd(std::move(tracedEnd)) {}

void CExchangeSink::Track(CTransferRequest& request) {
    Win32::CLock lock(m_lock);
    m_report.requests.push_back({&request, false});
}

void CExchangeSink::OnEvent(int32_t code, const void* data, uint32_t count) {
    Win32::CLock lock(m_lock);
    if (code != EventLogText) m_copyExpected = nullptr;
    switch (code) {
        case EventStarted:
            m_report.started = true;
            m_report.startedTick = GetTickCount64();
            m_notice(L"exchange started");
            break;
        case EventDataReceived: Received(static_cast<const uint8_t*>(data), count); break;
        case EventLogText: LogText(data, count); break;
        case EventDataSent: Sent(data, count); break;
        case EventStopped: End(ExchangeEnd::Stopped); break;
        default: m_notice(L"unknown event " + std::to_wstring(code)); break;
    }
}

void CExchangeSink::Received(const uint8_t* data, uint32_t count) {
    uint64_t offset = m_report.bytesIn;
    m_report.bytesIn += count;
    ++m_report.blocksIn;
    m_report.lastBlockTick = GetTickCount64();
    m_copyExpected = data;
    m_copyCount = count;
    if (data && count > 0) m_received(data, count, offset);
}

void CExchangeSink::LogText(const void* data, uint32_t count) {
    const bool isCopy = m_copyExpected && data == m_copyExpected && count == m_copyCount;
    m_copyExpected = nullptr;
    if (isCopy) return;
    std::wstring text = data ? FromUtf8(std::string_view(static_cast<const char*>(data), count)) : L"";
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r')) text.pop_back();
    m_report.pluginMessage = text;
    m_notice(L"plug-in: " + text);
    // The plug-in ends without EventStopped when it cannot open the port;
    // its message before EventStarted is that end.
    if (!m_report.started) End(ExchangeEnd::PortNotOpened);
}

void CExchangeSink::Sent(const void* data, uint32_t count) {
    m_report.bytesOut += count;
    for (RequestProgress& progress : m_report.requests) {
        progress.request->CountIfHolds(data, count);
    }
    if (m_sent && data && count > 0) m_sent(static_cast<const uint8_t*>(data), count);
}

void CExchangeSink::OnRequestDone(ITransferRequest* request) {
    Win32::CLock lock(m_lock);
    for (RequestProgress& progress : m_report.requests) {
        if (progress.request != request) continue;
        progress.done = true;
        m_notice(L"sent " + progress.request->Label() + L": " + std::to_wstring(progress.request->BytesSent()) + L" of " +
                 std::to_wstring(progress.request->Size()) + L" bytes");
    }
}

void CExchangeSink::End(ExchangeEnd end) {
    if (m_report.end != ExchangeEnd::Running) return;
    if (end == ExchangeEnd::Stopped) {
        const TracedEnding traced = m_tracedEnd ? m_tracedEnd() : TracedEnding{};
        if (SaysDeviceGone(traced.said)) end = ExchangeEnd::DeviceGone;
        m_report.endReason = ExplainEnd(traced.said);
        m_notice(L"exchange ended: " + m_report.endReason);
        if (!traced.lineErrors.empty()) m_notice(traced.lineErrors);
    }
    m_report.end = end;
    m_ended.Set();
}

bool CExchangeSink::WaitForEnd(DWORD milliseconds) const {
    return WaitForSingleObject(m_ended.Get(), milliseconds) == WAIT_OBJECT_0;
}

ExchangeReport CExchangeSink::Report() const {
    Win32::CLock lock(m_lock);
    return m_report;
}

}  // namespace DevHost
