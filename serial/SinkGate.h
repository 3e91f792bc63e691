#pragma once
#include <windows.h>
#include <atomic>
#include <cstdint>
#include "plugin_api/HostInterfaces.h"
#include "win32/CriticalSection.h"

// The host's event sink as the exchange reaches it. One call at a time, in
// the order made, also across exchanges: a new exchange's first event waits
// until the previous exchange's final event has returned. Once closed, no
// call starts again, from any thread.
class CSinkGate {
public:
    CSinkGate() = default;
    CSinkGate(const CSinkGate&) = delete;
    CSinkGate& operator=(const CSinkGate&) = delete;

    // The host may change or withdraw its sink at any time. Made outside the
    // callbacks, this returns once a call to the old sink under way has
    // returned, so the host may free it then.
    void Set(IDeviceEventSink* sink);
    bool HasSink() const { return m_sink.load() != nullptr; }
    bool Closed() const { return m_closed; }
    // True on the thread of a call under way, inside the host's callback.
    bool InsideCall() const { return m_callingThread.load() == GetCurrentThreadId(); }

    void OnEvent(DeviceEventCode code, const void* data, uint32_t count);
    void OnRequestDone(ITransferRequest* request);
    // Any other call into the host's objects (a transfer request's getters)
    // goes through the gate too; false when the gate is closed or no sink
    // is set, and the call was not made.
    template <typename Call>
    bool Reach(Call call);
    // Returns once no call is under way; false when the gate is closed. A
    // new exchange begins only after the previous one's final event.
    bool AwaitTurn();

    // From now on no call starts. Returns once none is under way, except
    // the one the caller is inside of: closed from within a callback, that
    // callback is the last.
    void Close();

private:

    std::atomic<IDeviceEventSink*> m_sink{nullptr};
    // Held for each call; the calling thread may enter it again from inside
    // its callback (closing, starting the next exchange).
    Win32::CriticalSection m_calls;
    // Set before the lock is taken, so that no call starts once Close has
    // begun, even while it waits for the call under way.
    std::atomic<bool> m_closed{false};
    std::atomic<DWORD> m_callingThread{0};
};

template <typename Call>
bool CSinkGate::Reach(Call call) {
    Win32::Lock hold(m_calls);
    IDeviceEventSink* sink = m_sink.load();
    if (m_closed || !sink) return false;
    m_callingThread = GetCurrentThreadId();
    call(*sink);
    m_callingThread = 0;
    return true;
}
