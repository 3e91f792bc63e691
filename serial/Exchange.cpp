#include "Exchange.h"

using namespace Exchange;

CExchange::CExchange(CSerialPort& port, const std::atomic<IDeviceEventSink*>& sink,
                     const std::atomic<bool>& stop, const std::atomic<int32_t>& waitTime, Clock clock,
                     HANDLE wake)
    : m_port(port), m_sink(sink), m_stop(stop), m_waitTime(waitTime), m_clock(clock), m_wake(wake) {}

CExchange::~CExchange() { End(); }

bool CExchange::Begin(const Target& target) {
    if (!m_port.Probe(target.devicePath.c_str())) return false;

    DCB line = target.line;
    line.DCBlength = kLineRecordLength;
    m_port.Open(target.devicePath.c_str(), &line);
    if (m_port.IsOpen()) {
        m_port.SetupQueues(kQueueSize, kQueueSize);
        m_port.SetTimeouts(kTimeouts);
    }

    m_readEvent = Win32::ManualResetEvent::Create();
    m_readRecord = OVERLAPPED{};
    m_readRecord.hEvent = m_readEvent.Get();
    m_dataSeen = false;
    m_deviceGone = false;
    m_lastDataSecond = NowSeconds();
    Send(EventStarted, nullptr, 0);
    return true;
}

bool CExchange::Listening() const { return m_port.IsOpen() && !m_stop && !m_deviceGone; }

void CExchange::ReceiveTurn() {
    DWORD waiting = 0;
    if (!Queued(&waiting)) return;
    // The character event is edge-triggered: bytes that came after the last
    // read of a burst but before the wait began raise none, and would lie
    // unread until more followed.
    if (waiting == 0 && !m_port.WaitForReceive(kListenMilliseconds, m_wake)) return;
    // A device pulled out during the wait ends it as if a character came.
    if (!Queued(&waiting)) return;
    // A continuous stream would keep this loop going for ever; the stop
    // flag ends it between blocks.
    do {
        DWORD count = ReadBlock();
        Send(EventDataReceived, m_buffer, count);
        Send(EventLogText, m_buffer, count);
    } while (!m_stop && Queued(&waiting) && waiting != 0);
    m_lastDataSecond = NowSeconds();
    m_dataSeen = true;
}

// A port whose device has gone fails every call at once; listening on would
// spin, so the exchange ends as if stopped.
bool CExchange::Queued(DWORD* bytes) {
    COMSTAT status{};
    if (!m_port.ClearErrors(&status)) {
        m_deviceGone = true;
        return false;
    }
    *bytes = status.cbInQue;
    return true;
}

// The read time-outs make a read return at once with what is there, but a
// driver may still report it pending (Wine does on an empty queue). Such a
// read is ended here, so the buffer and record are free again and the
// count is what really arrived.
DWORD CExchange::ReadBlock() {
    m_readEvent.Reset();
    DWORD count = 0;
    switch (m_port.Read(m_buffer, kBlockSize, &m_readRecord, &count)) {
        case IoStart::Completed: return count;
        case IoStart::Pending: return m_port.CancelPending(&m_readRecord);
        case IoStart::Failed: break;
    }
    return 0;
}

bool CExchange::IdleTimeUp() const {
    if (!m_dataSeen) return false;
    return static_cast<int64_t>(NowSeconds() - m_lastDataSecond) > m_waitTime.load();
}

void CExchange::End() {
    m_port.Close();
    m_readEvent = Win32::ManualResetEvent();
}

void CExchange::Send(DeviceEventCode code, const void* data, uint32_t count) const {
    // The host may withdraw its sink while an exchange runs.
    if (IDeviceEventSink* sink = m_sink.load()) sink->OnEvent(code, data, count);
}
