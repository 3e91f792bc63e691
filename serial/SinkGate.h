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

    // The host may change or withdraw its sink at any time; a call already
    // under way keeps the sink it began with.
    void Set(IDeviceEventSink* sink) { m_sink = sink; }
    bool HasSink() const { return m_sink.load() != nullptr; }
    bool Closed() const { return m_closed; }
    // True on the thread of a call under way, inside the host's callback.
    bool InsideCall() const { return m_callingThread.load() == GetCurrentThreadId(); }

    void OnEvent(DeviceEventCode code, const void* data, uint32_t count);
    void OnRequestDone(ITransferRequest* request);

    // From now on no call starts. Returns once none is under way, except
    // the one the caller is inside of: closed from within a callback, that
    // callback is the last.
    void Close();

private:
    template <typename Call>
    void Deliver(Call call);

    std::atomic<IDeviceEventSink*> m_sink{nullptr};
    // Held for each call; the calling thread may enter it again from inside
    // its callback (closing, starting the next exchange).
    Win32::CriticalSection m_calls;
    // Set before the lock is taken, so that no call starts once Close has
    // begun, even while it waits for the call under way.
    std::atomic<bool> m_closed{false};
    std::atomic<DWORD> m_callingThread{0};
};
