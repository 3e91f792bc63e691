#pragma once
#include <windows.h>
#include <cstdint>
#include <functional>
#include "plugin_api/WideString.h"
#include "serial/WorkerPort.h"

namespace Serial {

namespace Exchange {

constexpr DWORD kListenMilliseconds = 100;
constexpr DWORD kBlockSize = CSerialPort::kReceiveBufferSize;
constexpr DWORD kQueueSize = 1048576;
// Reads return at once with what is queued (an interval time-out of
// MAXDWORD with no total time-outs); a write may take 500 ms per byte plus
// 1 ms before the driver gives it up, so no driver ends a write that flow
// control holds: the transmitter decides when a write is given up.
constexpr COMMTIMEOUTS kTimeouts{MAXDWORD, 0, 0, 500, 1};

// An open refused as busy is tried again this long, at this pace, before the
// port counts as not opened: a driver may still be finishing a close.
constexpr ULONGLONG kBusyRetryMilliseconds = 2000;
constexpr DWORD kBusyRetryStepMilliseconds = 100;

// The only message of the module, sent instead of any other event when the
// port cannot be opened. UTF-8, sent without its terminating zero.
constexpr char kOpenErrorText[] = u8"Ошибка открытия порта.\n";
constexpr uint32_t kOpenErrorLength = sizeof(kOpenErrorText) - 1;
static_assert(kOpenErrorLength == 42, "the host expects the 42-byte text");

// What an exchange opens and how long it waits for data, copied on the
// host's thread when it starts, so the host may edit its settings while
// the worker runs.
struct Target {
    Plugin::WideString devicePath;
    DCB line{};
    int32_t waitSeconds = 10;
    // The ports present now, "COM1, COM5", empty for none; asked on the
    // worker only when the port is not there, so that a trace sent from the
    // field shows where the instrument went. Opens no port; may raise the
    // standard allocation failure.
    std::function<Plugin::WideString()> portsPresent;
};

}  // namespace Exchange

// The steps of one exchange, all on the worker's thread: opening the port,
// listening turns that hand every received block to the host, the idle rule,
// closing. The caller runs the turns and sends the final event.
class CExchange {
public:
    // The time is the port's clock.
    CExchange(CWorkerPort& port, CExchangeShared& shared) : m_port(port), m_shared(shared) {}
    ~CExchange();
    CExchange(const CExchange&) = delete;
    CExchange& operator=(const CExchange&) = delete;

    // Opens and configures the port and sends EventStarted; false, with
    // nothing sent, when it could not be opened as a serial port.
    bool Begin(const Exchange::Target& target);
    bool Listening() const;
    // Waits up to one listening time for data and hands over every block
    // received, reading for at most about a listening time, so requests
    // queued meanwhile go out however fast the instrument sends. A turn
    // that brings no byte (a wait that completes without data, a read that
    // finds none) still takes the listening time, so no driver can make the
    // worker spin or the host see empty blocks. A device that has gone
    // ends the listening.
    void ReceiveTurn();
    // True once data has been seen and none has come for more than the wait
    // time, counted in whole seconds.
    bool IdleTimeUp() const;
    // Closes the port; the trace tells why the exchange ended.
    void End(bool released);

private:
    IoResult OpenRetryingWhileBusy(const DCB& line);
    uint64_t HandOverQueued(ULONGLONG begun, bool afterCharacterEvent);
    void WaitOutTheTurn(ULONGLONG begun) const;
    void TraceOpening(const DCB& line, const IoResult& opened) const;
    void TracePortsPresent(const Exchange::Target& target) const;
    void TraceEnd(bool released) const;
    ULONGLONG NowSeconds() const { return m_port.Now() / 1000; }

    CWorkerPort& m_port;
    CExchangeShared& m_shared;
    const wchar_t* m_path = L"";
    int32_t m_waitSeconds = 0;
    bool m_dataSeen = false;
    bool m_ended = false;
    ULONGLONG m_lastDataSecond = 0;
};

}  // namespace Serial
