#pragma once
#include <windows.h>
#include <atomic>
#include <cstdint>
#include "plugin_api/HostInterfaces.h"
#include "win32/CriticalSection.h"
#include "win32/Event.h"

namespace Serial {

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

    // Each false when no sink took the call: the gate is closed or none is
    // set.
    bool OnEvent(DeviceEventCode code, const void* data, uint32_t count);
    bool OnRequestDone(ITransferRequest* request);
    // Any other call into the host's objects (a transfer request's getters)
    // goes through the gate too; false when the gate is closed or no sink
    // is set, and the call was not made.
    template <typename Call>
    bool Reach(Call call);
    // Reads the host's memory outside its callbacks (a request's bytes being
    // copied for a write): false, with nothing read, once the gate is closed.
    // Needs no sink: a request being sent stays the host's to keep until the
    // last Release, sink or none.
    template <typename Read>
    bool ReadHostMemory(Read read);
    // Returns once no call is under way; false when the gate is closed. A
    // new exchange begins only after the previous one's final event.
    bool AwaitTurn();

    // From now on no call starts. Returns once none is under way, except
    // the one the caller is inside of: closed from within a callback, that
    // callback is the last.
    void Close();

private:
    // Marks a call under way and gives the sink to call; false when the gate
    // is closed, or has no sink and one is needed. Only the exchange's
    // workers call: one waits here while another's call is under way.
    bool BeginCall(bool needsSink, IDeviceEventSink** sink);
    void EndCall();
    // The host's side: returns once a call under way on another thread has
    // ended. The host's thread may be the one that call sends to, so its
    // sent messages are let through meanwhile.
    void AwaitCallUnderWay(const wchar_t* waitingFor);
    // Called with the state held and a call under way: waits, with the state
    // let go, until that call has ended or another has begun meanwhile.
    template <typename Wait>
    void AwaitNoCall(Wait wait);

    std::atomic<IDeviceEventSink*> m_sink{nullptr};
    // Set before the state is looked at, so that no call starts once Close
    // has begun, even while it waits for the call under way.
    std::atomic<bool> m_closed{false};
    std::atomic<DWORD> m_callingThread{0};
    // Guards the call's state below; never held while the host is called.
    Win32::CCriticalSection m_state;
    // The calling thread may call again from inside its callback.
    unsigned m_depth = 0;
    uint64_t m_callsBegun = 0;
    // Threads waiting for the call under way to end. While there are any,
    // m_noCall is signalled exactly while no call is under way; without
    // them it is left alone, so that a call costs no event changes (each a
    // round trip to the server under Wine, twice per received block).
    unsigned m_waiters = 0;
    Win32::CEvent m_noCall{Win32::CEvent::Reset::Manual, true};
};

template <typename Wait>
void CSinkGate::AwaitNoCall(Wait wait) {
    if (m_waiters++ == 0) m_noCall.Clear();
    m_state.Leave();
    wait(m_noCall.Get());
    m_state.Enter();
    --m_waiters;
}

template <typename Call>
bool CSinkGate::Reach(Call call) {
    IDeviceEventSink* sink = nullptr;
    if (!BeginCall(true, &sink)) return false;
    struct Ending {
        CSinkGate& gate;
        ~Ending() { gate.EndCall(); }
    } ending{*this};
    call(*sink);
    return true;
}

template <typename Read>
bool CSinkGate::ReadHostMemory(Read read) {
    IDeviceEventSink* unused = nullptr;
    if (!BeginCall(false, &unused)) return false;
    read();
    EndCall();
    return true;
}

}  // namespace Serial
