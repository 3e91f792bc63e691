#pragma once
#include <windows.h>
#include <atomic>
#include "serial/RequestQueue.h"
#include "serial/SinkGate.h"
#include "win32/CriticalSection.h"
#include "win32/Event.h"

namespace Serial {

// What the host's side and a running worker share: the gate to the host's
// sink, the queue of its requests, whether the worker holds the port, and
// the host's two ways of reaching the worker: a stop, which the worker
// reads between steps and which ends every wait of its (a pending write
// among them), and a wake-up, which ends one listening wait so that a newly
// queued request goes out at once. Setting and clearing the stop are whole,
// so a stop racing a start cannot leave its event signalled with the flag
// clear.
class CExchangeShared {
public:
    CExchangeShared() = default;
    CExchangeShared(const CExchangeShared&) = delete;
    CExchangeShared& operator=(const CExchangeShared&) = delete;

    CSinkGate& Sink() { return m_sink; }
    CRequestQueue& Requests() { return m_requests; }

    // Only the worker's port publishes; the host's side only reads.
    void PublishPortHeld(bool held) { m_portHeld = held; }
    bool PortHeld() const { return m_portHeld; }

    void Stop() {
        {
            Win32::CLock hold(m_change);
            m_stopped = true;
            m_stopEvent.Set();
        }
        Wake();
    }
    void ClearStop() {
        Win32::CLock hold(m_change);
        m_stopped = false;
        m_stopEvent.Clear();
    }
    bool Stopped() const { return m_stopped; }
    HANDLE StopEvent() const { return m_stopEvent.Get(); }

    void Wake() { m_wake.Set(); }
    HANDLE WakeEvent() const { return m_wake.Get(); }

private:
    CSinkGate m_sink;
    CRequestQueue m_requests;
    std::atomic<bool> m_portHeld{false};
    std::atomic<bool> m_stopped{false};
    Win32::CEvent m_stopEvent{Win32::CEvent::Reset::Manual};
    Win32::CCriticalSection m_change;
    // One wake-up ends at most one listening wait.
    Win32::CEvent m_wake{Win32::CEvent::Reset::Automatic};
};

}  // namespace Serial
