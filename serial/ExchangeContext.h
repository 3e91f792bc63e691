#pragma once
#include <windows.h>
#include <atomic>
#include "serial/DeviceHealth.h"
#include "serial/RequestQueue.h"
#include "serial/SerialPort.h"
#include "serial/SinkGate.h"
#include "win32/CriticalSection.h"
#include "win32/ManualResetEvent.h"
#include "win32/UniqueHandle.h"

// The host's stop: a flag the worker reads between steps, and an event that
// ends its waits (a pending write among them) at once. Setting and clearing
// are whole, so a stop racing a start cannot leave the event signalled
// with the flag clear.
class CStopSignal {
public:
    void Set() {
        Win32::Lock hold(m_change);
        m_set = true;
        SetEvent(m_event.Get());
    }
    void Clear() {
        Win32::Lock hold(m_change);
        m_set = false;
        m_event.Reset();
    }
    bool IsSet() const { return m_set; }
    HANDLE Event() const { return m_event.Get(); }

private:
    std::atomic<bool> m_set{false};
    Win32::ManualResetEvent m_event = Win32::ManualResetEvent::Create();
    Win32::CriticalSection m_change;
};

// Everything an exchange works on, shared by the host's side and the
// worker, which may outlive the plug-in object.
struct ExchangeContext {
    explicit ExchangeContext(const SerialApi& api = SerialApi::System()) : port(api) {}
    ExchangeContext(const ExchangeContext&) = delete;
    ExchangeContext& operator=(const ExchangeContext&) = delete;

    void Wake() { SetEvent(wake.Get()); }

    CSerialPort port;
    CDeviceHealth health{port};
    CSinkGate sink;
    CRequestQueue requests;
    CStopSignal stop;
    // Auto-reset: one wake-up ends at most one listening wait, so a newly
    // queued request or a stop need not wait out a quiet listening time.
    Win32::UniqueHandle wake{CreateEventW(nullptr, FALSE, FALSE, nullptr)};
};
