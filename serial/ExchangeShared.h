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

// How the host's side reaches a running worker: a stop, which the worker
// reads between steps and which ends every wait of its (a pending write
// among them), and a wake-up, which ends one listening wait so that a newly
// queued request goes out at once. Setting and clearing the stop are
// whole, so a stop racing a start cannot leave its event signalled with
// the flag clear.
class CWorkerSignals {
public:
    bool Ready() const { return m_stopEvent.Get() && m_wake.IsValid(); }

    void Stop() {
        {
            Win32::Lock hold(m_change);
            m_stopped = true;
            SetEvent(m_stopEvent.Get());
        }
        Wake();
    }
    void ClearStop() {
        Win32::Lock hold(m_change);
        m_stopped = false;
        m_stopEvent.Reset();
    }
    bool Stopped() const { return m_stopped; }
    HANDLE StopEvent() const { return m_stopEvent.Get(); }

    void Wake() { SetEvent(m_wake.Get()); }
    HANDLE WakeEvent() const { return m_wake.Get(); }

private:
    std::atomic<bool> m_stopped{false};
    Win32::ManualResetEvent m_stopEvent = Win32::ManualResetEvent::Create();
    Win32::CriticalSection m_change;
    // Auto-reset: one wake-up ends at most one listening wait.
    Win32::UniqueHandle m_wake{CreateEventW(nullptr, FALSE, FALSE, nullptr)};
};

// What the host's side touches while a worker runs, on the host's threads:
// the gate to its sink, the queue of its requests and the signals above.
struct ExchangeShared {
    ExchangeShared() = default;
    ExchangeShared(const ExchangeShared&) = delete;
    ExchangeShared& operator=(const ExchangeShared&) = delete;

    bool Ready() const { return signals.Ready() && sink.Ready(); }

    CSinkGate sink;
    CRequestQueue requests;
    CWorkerSignals signals;
};

// What only the worker operates: the port, the judge of the device's health
// and the count of line errors. The host's side only asks whether the port
// is open.
struct WorkerPort {
    explicit WorkerPort(const SerialApi& api) : port(api) {}
    WorkerPort(const WorkerPort&) = delete;
    WorkerPort& operator=(const WorkerPort&) = delete;

    CSerialPort port;
    CLineErrors lineErrors;
    CDeviceHealth health{port, lineErrors};
};
