#include "serial/Exchange.h"

using namespace Exchange;

CExchange::CExchange(ExchangeContext& context, Clock clock) : m_context(context), m_clock(clock) {}

CExchange::~CExchange() { End(); }

bool CExchange::Begin(const Target& target) {
    CSerialPort& port = m_context.port;
    if (!port.Probe(target.devicePath.c_str())) return false;

    DCB line = target.line;
    line.DCBlength = kLineRecordLength;
    port.Open(target.devicePath.c_str(), &line);
    if (port.IsOpen()) {
        port.SetupQueues(kQueueSize, kQueueSize);
        port.SetTimeouts(kTimeouts);
    }

    m_waitSeconds = target.waitSeconds;
    m_dataSeen = false;
    m_deviceGone = false;
    m_lastDataSecond = NowSeconds();
    m_context.sink.OnEvent(EventStarted, nullptr, 0);
    return true;
}

bool CExchange::Listening() const { return m_context.port.IsOpen() && !m_context.stop.IsSet() && !m_deviceGone; }

void CExchange::ReceiveTurn() {
    CSerialPort& port = m_context.port;
    DWORD waiting = 0;
    if (!Queued(&waiting)) return;
    // The character event is edge-triggered: bytes that came after the last
    // read of a burst but before the wait began raise none, and would lie
    // unread until more followed.
    if (waiting == 0 && !port.WaitForReceive(kListenMilliseconds, m_context.wake.Get())) return;
    // A device pulled out during the wait ends it as if a character came.
    if (!Queued(&waiting)) return;
    // A continuous stream would keep this loop going for ever; the stop
    // flag ends it between blocks.
    do {
        const DWORD count = port.Read(kBlockSize).bytes;
        m_context.sink.OnEvent(EventDataReceived, port.Received(), count);
        m_context.sink.OnEvent(EventLogText, port.Received(), count);
    } while (!m_context.stop.IsSet() && Queued(&waiting) && waiting != 0);
    m_lastDataSecond = NowSeconds();
    m_dataSeen = true;
}

// A port whose device has gone fails every call at once; listening on would
// spin, so the exchange ends as if stopped.
bool CExchange::Queued(DWORD* bytes) {
    COMSTAT status{};
    if (!m_context.port.ClearErrors(&status)) {
        m_deviceGone = true;
        return false;
    }
    *bytes = status.cbInQue;
    return true;
}

bool CExchange::IdleTimeUp() const {
    if (!m_dataSeen) return false;
    return static_cast<int64_t>(NowSeconds() - m_lastDataSecond) > m_waitSeconds;
}

void CExchange::End() { m_context.port.Close(); }
