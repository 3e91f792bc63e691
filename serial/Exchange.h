#pragma once
#include <windows.h>
#include <atomic>
#include <cstdint>
#include "../plugin_api/HostInterfaces.h"
#include "../plugin_api/WideString.h"
#include "../win32/ManualResetEvent.h"
#include "SerialPort.h"

namespace Exchange {

constexpr DWORD kListenMilliseconds = 100;
constexpr DWORD kBlockSize = 65536;
constexpr DWORD kQueueSize = 1048576;
constexpr COMMTIMEOUTS kTimeouts{MAXDWORD, 0, 0, 500, 1};
constexpr DWORD kLineRecordLength = 28;

// The only message of the module, sent instead of any other event when the
// port cannot be opened. UTF-8, sent without its terminating zero.
constexpr char kOpenErrorText[] = u8"Ошибка открытия порта.\n";
constexpr uint32_t kOpenErrorLength = sizeof(kOpenErrorText) - 1;
static_assert(kOpenErrorLength == 42, "the host expects the 42-byte text");

// What an exchange opens, copied on the host's thread when it starts, so the
// host may edit its settings while the worker runs.
struct Target {
    Plugin::WideString devicePath;
    DCB line{};
};

// A clock in milliseconds that never goes back: the idle time must not follow
// changes of the wall clock.
using Clock = ULONGLONG(WINAPI*)();

}  // namespace Exchange

// The steps of one exchange, all on the worker's thread: opening the port,
// listening turns that hand every received block to the host, the idle rule,
// closing. The caller runs the turns and sends the final event.
class CExchange {
public:
    CExchange(CSerialPort& port, const std::atomic<IDeviceEventSink*>& sink,
              const std::atomic<bool>& stop, const std::atomic<int32_t>& waitTime,
              Exchange::Clock clock, HANDLE wake = nullptr);
    ~CExchange();
    CExchange(const CExchange&) = delete;
    CExchange& operator=(const CExchange&) = delete;

    // False when the device cannot be opened at all; otherwise the port was
    // tried, and EventStarted sent even when the overlapped open failed.
    bool Begin(const Exchange::Target& target);
    bool Listening() const;
    // Waits one listening time for data and hands over every block received.
    // A device that no longer answers ends the listening.
    void ReceiveTurn();
    // True once data has been seen and none has come for more than the wait
    // time, counted in whole seconds.
    bool IdleTimeUp() const;
    void End();

private:
    DWORD ReadBlock();
    bool Queued(DWORD* bytes);
    void Send(DeviceEventCode code, const void* data, uint32_t count) const;
    ULONGLONG NowSeconds() const { return m_clock() / 1000; }

    CSerialPort& m_port;
    const std::atomic<IDeviceEventSink*>& m_sink;
    const std::atomic<bool>& m_stop;
    const std::atomic<int32_t>& m_waitTime;
    Exchange::Clock m_clock;
    HANDLE m_wake;

    uint8_t m_buffer[Exchange::kBlockSize];
    OVERLAPPED m_readRecord{};
    Win32::ManualResetEvent m_readEvent;
    bool m_dataSeen = false;
    bool m_deviceGone = false;
    ULONGLONG m_lastDataSecond = 0;
};
