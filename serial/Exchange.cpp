#include "serial/Exchange.h"
#include "plugin_api/SharedConstants.h"
#include "win32/Trace.h"
#include <cwchar>
#include <new>

namespace Serial {

using namespace Exchange;

namespace {

const wchar_t* ParityName(BYTE parity) {
    switch (parity) {
    case NOPARITY: return L"none";
    case ODDPARITY: return L"odd";
    case EVENPARITY: return L"even";
    case MARKPARITY: return L"mark";
    case SPACEPARITY: return L"space";
    default: return L"unknown";
    }
}

const wchar_t* StopBitsName(BYTE stopBits) {
    switch (stopBits) {
    case ONESTOPBIT: return L"1";
    case ONE5STOPBITS: return L"1.5";
    case TWOSTOPBITS: return L"2";
    default: return L"unknown";
    }
}

// ERROR_NO_SUCH_DEVICE, which not every SDK's headers name.
constexpr DWORD kNoSuchDevice = 433;

// An open refused because no device answers to the name: never held, or an
// adapter unplugged.
bool PortNotThere(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_DEV_NOT_EXIST ||
           error == kNoSuchDevice;
}

}  // namespace

CExchange::~CExchange() {
    if (!m_ended) End(false);
}

bool CExchange::Begin(const Target& target) {
    m_path = target.devicePath.c_str();
    const IoResult opened = OpenRetryingWhileBusy(target.line);
    TraceOpening(target.line, opened);
    if (!opened.Completed()) {
        if (PortNotThere(opened.error)) TracePortsPresent(target);
        return false;
    }
    const IoResult queues = m_port.SetupQueues(kQueueSize, kQueueSize);
    if (queues.Failed()) {
        Win32::Trace(L"%ls: the driver refused queues of %lu bytes, error %lu", m_path, kQueueSize, queues.error);
    }
    const IoResult timeouts = m_port.SetTimeouts(kTimeouts);
    if (timeouts.Failed()) {
        Win32::Trace(L"%ls: the driver refused the time-outs, error %lu", m_path, timeouts.error);
    }

    m_waitSeconds = target.waitSeconds;
    m_dataSeen = false;
    m_ended = false;
    m_lastDataSecond = NowSeconds();
    m_shared.Sink().OnEvent(EventStarted, nullptr, 0);
    return true;
}

// Drivers finish a close after CloseHandle returns, and refuse an open
// meanwhile (USB adapters, for up to about a second): the host's next start
// often comes right after the last exchange's end. A stop ends the retries.
IoResult CExchange::OpenRetryingWhileBusy(const DCB& line) {
    const ULONGLONG begun = m_port.Now();
    DWORD firstRefusal = ERROR_SUCCESS;
    for (;;) {
        const IoResult opened = m_port.Open(m_path, line);
        if (opened.Completed() && firstRefusal != ERROR_SUCCESS) {
            Win32::Trace(L"%ls: the driver refused the open as busy (error %lu) and took it %llu ms later", m_path,
                         firstRefusal, m_port.Now() - begun);
        }
        const bool busy = opened.error == ERROR_ACCESS_DENIED || opened.error == ERROR_SHARING_VIOLATION ||
                          opened.error == ERROR_BUSY;
        if (opened.Completed() || !busy || m_port.Now() - begun >= kBusyRetryMilliseconds) return opened;
        if (firstRefusal == ERROR_SUCCESS) firstRefusal = opened.error;
        if (WaitForSingleObject(m_shared.StopEvent(), kBusyRetryStepMilliseconds) != WAIT_TIMEOUT) {
            return opened;
        }
    }
}

// A refused line record leaves the exchange running at the driver's own
// settings, as the host expects; the trace is where it shows.
void CExchange::TraceOpening(const DCB& line, const IoResult& opened) const {
    if (!opened.Completed()) {
        Win32::Trace(L"%ls could not be opened as a serial port, error %lu", m_path, opened.error);
        return;
    }
    wchar_t settings[96];
    std::swprintf(settings, 96, L"%lu baud, data bits %u, parity %ls, stop bits %ls", line.BaudRate,
                  unsigned{line.ByteSize}, ParityName(line.Parity), StopBitsName(line.StopBits));
    if (opened.error == ERROR_SUCCESS) {
        Win32::Trace(L"%ls opened: %ls", m_path, settings);
    } else {
        Win32::Trace(L"%ls opened, but the driver refused %ls (error %lu) and keeps its own settings", m_path, settings,
              opened.error);
    }
}

// Listing allocates, and nothing may leave the worker: without the memory
// the line is left out.
void CExchange::TracePortsPresent(const Target& target) const {
    if (!target.portsPresent) return;
    try {
        const Plugin::WideString present = target.portsPresent();
        Win32::Trace(L"%ls is not there; ports present now: %ls", m_path, present.empty() ? L"none" : present.c_str());
    } catch (const std::bad_alloc&) {
        return;
    }
}

bool CExchange::Listening() const {
    return m_port.IsOpen() && !m_shared.Stopped() && !m_port.Gone();
}

void CExchange::ReceiveTurn() {
    const ULONGLONG begun = m_port.Now();
    m_port.CheckWhenQuiet();
    if (HandOverQueued(begun, false) != 0 || m_port.Gone()) return;
    // The character event is edge-triggered: bytes that came after the last
    // read of a burst but before the wait began raise none, and would lie
    // unread until more followed. A wait left pending by an earlier turn may
    // have completed on bytes read since, so an arrival that brings nothing
    // earns one fresh wait before the turn counts as empty.
    for (int waits = 0; waits < 2 && m_port.Listens(); ++waits) {
        const ULONGLONG elapsed = m_port.Now() - begun;
        if (elapsed >= kListenMilliseconds) return;
        const IoResult listen =
            m_port.WaitForReceive(static_cast<DWORD>(kListenMilliseconds - elapsed), m_shared.WakeEvent());
        if (listen.state == IoState::Gone || listen.state == IoState::Pending) return;
        // A failed wait took no time; the turn then polls.
        if (listen.Failed()) break;
        if (HandOverQueued(begun, true) != 0 || m_port.Gone()) return;
    }
    WaitOutTheTurn(begun);
}

// Reads what the driver reports queued, and again while more is, handing
// each block over as data and as its log copy. Some drivers count received
// bytes late (their count stays 0 until a USB buffer fills), so after a
// character event the read is made whatever the count says; a driver with
// no status call is read until a read finds nothing.
uint64_t CExchange::HandOverQueued(ULONGLONG begun, bool afterCharacterEvent) {
    uint64_t handedOver = 0;
    bool readAnyway = afterCharacterEvent;
    while (!m_shared.Stopped()) {
        COMSTAT status{};
        const IoResult counted = m_port.Status(&status);
        if (counted.state == IoState::Gone) break;
        const DWORD queued = counted.Completed() ? status.cbInQue : 0;
        if (counted.Completed() && queued == 0 && !readAnyway) break;
        const IoResult read = m_port.Read(queued != 0 ? queued : kBlockSize);
        if (read.Failed() || read.bytes == 0) break;
        // Bytes that came are data for the idle time, taken or not.
        handedOver += read.bytes;
        // A block no sink took: the host has let go or set none for now, and
        // reading on in this turn would only feed nobody.
        if (!m_shared.Sink().OnEvent(EventDataReceived, read.data, read.bytes)) break;
        m_shared.Sink().OnEvent(EventLogText, read.data, read.bytes);
        readAnyway = false;
        // The driver keeps what comes meanwhile; the next turn reads it.
        if (m_port.Now() - begun >= kListenMilliseconds) break;
    }
    if (handedOver != 0) {
        m_lastDataSecond = NowSeconds();
        m_dataSeen = true;
    }
    return handedOver;
}

// A queued request or a stop ends it early, as they end a listening wait;
// whatever ends the wait, the turn is over.
void CExchange::WaitOutTheTurn(ULONGLONG begun) const {
    const ULONGLONG elapsed = m_port.Now() - begun;
    if (elapsed >= kListenMilliseconds || m_shared.Stopped()) return;
    const HANDLE events[] = {m_shared.WakeEvent(), m_shared.StopEvent()};
    WaitForMultipleObjects(2, events, FALSE, static_cast<DWORD>(kListenMilliseconds - elapsed));
}

bool CExchange::IdleTimeUp() const {
    if (!m_dataSeen) return false;
    return static_cast<int64_t>(NowSeconds() - m_lastDataSecond) > m_waitSeconds;
}

void CExchange::End(bool released) {
    if (m_port.IsOpen()) {
        m_port.TraceLineErrors();
        TraceEnd(released);
    }
    m_ended = true;
    m_port.Close();
}

void CExchange::TraceEnd(bool released) const {
    if (released) {
        Win32::Trace(L"%ls: %ls%ls", m_path, Shared::kExchangeEnded, Shared::kEndReleased);
    } else if (m_port.Gone()) {
        Win32::Trace(L"%ls: %ls%ls (error %lu from the %ls)", m_path, Shared::kExchangeEnded, Shared::kEndDeviceGone,
              m_port.GoneError(), m_port.GoneBy());
    } else if (m_shared.Stopped()) {
        Win32::Trace(L"%ls: %ls%ls", m_path, Shared::kExchangeEnded, Shared::kEndStopped);
    } else {
        Win32::Trace(L"%ls: %ls%ls %d s", m_path, Shared::kExchangeEnded, Shared::kEndNoData, m_waitSeconds);
    }
}

}  // namespace Serial
