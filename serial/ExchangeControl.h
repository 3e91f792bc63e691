#pragma once
#include <windows.h>
#include <atomic>
#include "../plugin_api/HostInterfaces.h"
#include "../settings/PortSettings.h"
#include "../win32/UniqueHandle.h"
#include "Exchange.h"
#include "RequestQueue.h"
#include "SerialPort.h"

// Starts, stops and outlives the exchange worker: at most one exchange at a
// time, each on its own thread, none running on a destroyed owner.
class CExchangeControl {
public:
    CExchangeControl(const std::atomic<IDeviceEventSink*>& sink, const Settings::PortSettings& settings,
                     CRequestQueue& requests, const SerialApi& api = SerialApi::System());
    // Stops a running exchange and waits for its worker, unless called from
    // that worker's final event, after which the worker touches nothing here.
    ~CExchangeControl();
    CExchangeControl(const CExchangeControl&) = delete;
    CExchangeControl& operator=(const CExchangeControl&) = delete;

    // False while an exchange runs (from the start until its final event),
    // without an event sink, or when no thread can be made.
    bool StartExchange();
    // True when no exchange held the port at the call. Never waits.
    bool StopExchange();
    // Ends the current listening wait, so newly queued requests go out at
    // once instead of after up to one listening time.
    void Wake();

private:
    static unsigned __stdcall ExchangeWorker(void* control);
    void RunExchange();
    bool RunTurns();
    // Ends the exchange with its last event; from the moment the exchange is
    // marked over, the owner may start the next one or be destroyed.
    void Finish(DeviceEventCode code, const void* data, uint32_t count);

    const std::atomic<IDeviceEventSink*>& m_sink;
    const Settings::PortSettings& m_settings;
    CRequestQueue& m_requests;
    CSerialPort m_port;
    Exchange::Target m_target;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_running{false};
    // Auto-reset: one wake-up ends at most one listening wait.
    Win32::UniqueHandle m_wake{CreateEventW(nullptr, FALSE, FALSE, nullptr)};
    Win32::UniqueHandle m_worker;
    std::atomic<DWORD> m_workerId{0};
};
