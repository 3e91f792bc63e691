#include "ExchangeSink.h"
#include "ConsoleOutput.h"

namespace DevHost {

void CExchangeSink::OnEvent(int32_t code, const void* data, uint32_t count) {
    std::lock_guard<std::mutex> hold(m_lock);
    const bool isCopy = code == EventLogText && data && data == m_copyExpected.data() && count == m_copyExpected.size();
    m_copyExpected = {};
    switch (code) {
        case EventStarted:
            m_report.started = true;
            m_report.startedTick = GetTickCount64();
            m_view.Notice(L"exchange started");
            break;
        case EventDataReceived:
            m_report.bytesIn += count;
            ++m_report.blocksIn;
            m_report.lastBlockTick = GetTickCount64();
            if (data) m_copyExpected = {static_cast<const char*>(data), count};
            if (data && count > 0) m_view.Received(static_cast<const uint8_t*>(data), count);
            break;
        case EventLogText: {
            if (isCopy) break;
            std::wstring text = data ? FromUtf8(std::string_view(static_cast<const char*>(data), count)) : L"";
            while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r')) text.pop_back();
            m_report.pluginMessage = text;
            m_view.Notice(L"plug-in: " + text);
            // The plug-in ends without EventStopped when it cannot open the port;
            // its message before EventStarted is that end.
            if (!m_report.started) End(ExchangeEnd::PortNotOpened);
            break;
        }
        case EventDataSent:
            m_report.bytesOut += count;
            if (data && count > 0) m_view.Sent(static_cast<const uint8_t*>(data), count);
            break;
        case EventStopped: End(ExchangeEnd::Stopped); break;
        default: m_view.Notice(L"unknown event " + std::to_wstring(code)); break;
    }
}

void CExchangeSink::End(ExchangeEnd end) {
    if (m_report.end != ExchangeEnd::Running) return;
    if (end == ExchangeEnd::Stopped) {
        const TracedEnding traced = m_view.TracedEnd();
        if (SaysDeviceGone(traced.said)) end = ExchangeEnd::DeviceGone;
        m_report.endReason = ExplainEnd(traced.said);
        m_view.Notice(L"exchange ended: " + m_report.endReason);
        if (!traced.lineErrors.empty()) m_view.Notice(traced.lineErrors);
    }
    m_report.end = end;
    m_ended.Set();
}

}  // namespace DevHost
