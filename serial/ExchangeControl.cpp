#include "ExchangeControl.h"
#include <process.h>
#include "DevicePath.h"
#include "Transmit.h"

CExchangeControl::CExchangeControl(const std::atomic<IDeviceEventSink*>& sink,
                                   const Settings::PortSettings& settings, CRequestQueue& requests,
                                   const SerialApi& api)
    : m_sink(sink), m_settings(settings), m_requests(requests), m_port(api) {}

CExchangeControl::~CExchangeControl() {
    if (!m_running || GetCurrentThreadId() == m_workerId) return;
    m_stop = true;
    WaitForSingleObject(m_worker.Get(), INFINITE);
}

bool CExchangeControl::StartExchange() {
    if (!m_sink.load()) return false;
    Exchange::Target target{DevicePathFor(m_settings.portName.c_str()), m_settings.line};
    bool idle = false;
    if (!m_running.compare_exchange_strong(idle, true)) return false;

    // The previous worker, if any, is past its last use of this object (it
    // may be the caller, inside its final event): only its handle is left.
    m_worker.Reset();
    m_target = std::move(target);
    m_stop = false;
    unsigned id = 0;
    auto thread = _beginthreadex(nullptr, 0, &ExchangeWorker, this, 0, &id);
    if (thread == 0) {
        m_running = false;
        return false;
    }
    m_worker.Reset(reinterpret_cast<HANDLE>(thread));
    m_workerId = id;
    return true;
}

bool CExchangeControl::StopExchange() {
    bool portWasOpen = m_port.IsOpen();
    m_stop = true;
    Wake();
    return !portWasOpen;
}

void CExchangeControl::Wake() {
    if (m_wake.IsValid()) SetEvent(m_wake.Get());
}

// Once the final event is sent the host may release the plug-in and unload
// the module, while this thread still returns through the module's code. The
// thread therefore holds the module loaded and lets it go as it exits.
unsigned __stdcall CExchangeControl::ExchangeWorker(void* control) {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&ExchangeWorker), &module);
    static_cast<CExchangeControl*>(control)->RunExchange();
    if (module) FreeLibraryAndExitThread(module, 0);
    return 0;
}

void CExchangeControl::RunExchange() {
    if (RunTurns()) {
        Finish(EventStopped, nullptr, 0);
    } else {
        Finish(EventLogText, Exchange::kOpenErrorText, Exchange::kOpenErrorLength);
    }
}

// False when the port could not be opened. The exchange's records go, and
// the port is closed, before the final event.
bool CExchangeControl::RunTurns() {
    CExchange exchange(m_port, m_sink, m_stop, m_settings.waitTime, &GetTickCount64, m_wake.Get());
    if (!exchange.Begin(m_target)) return false;
    CTransmitter transmitter(m_port, m_sink, m_stop, m_requests);
    while (exchange.Listening()) {
        exchange.ReceiveTurn();
        // Never inside a read burst: received bytes wait in the driver while
        // a request is sent.
        transmitter.DrainQueue();
        if (exchange.IdleTimeUp()) break;
    }
    exchange.End();
    return true;
}

void CExchangeControl::Finish(DeviceEventCode code, const void* data, uint32_t count) {
    IDeviceEventSink* sink = m_sink.load();
    m_running = false;
    if (sink) sink->OnEvent(code, data, count);
}
