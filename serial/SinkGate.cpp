#include "serial/SinkGate.h"
#include "win32/SentMessageWait.h"

void CSinkGate::Set(IDeviceEventSink* sink) {
    m_sink = sink;
    if (!InsideCall()) AwaitCallUnderWay(L"a call to the old event sink to return");
}

void CSinkGate::OnEvent(DeviceEventCode code, const void* data, uint32_t count) {
    Reach([&](IDeviceEventSink& sink) { sink.OnEvent(code, data, count); });
}

void CSinkGate::OnRequestDone(ITransferRequest* request) {
    Reach([&](IDeviceEventSink& sink) { sink.OnRequestDone(request); });
}

IDeviceEventSink* CSinkGate::BeginCall() {
    const DWORD self = GetCurrentThreadId();
    for (;;) {
        {
            Win32::Lock hold(m_state);
            if (m_closed) return nullptr;
            if (m_depth == 0 || m_callingThread.load() == self) {
                // Read with the call marked, so that a sink set meanwhile is
                // either this one or waits for this call.
                IDeviceEventSink* sink = m_sink.load();
                if (!sink) return nullptr;
                if (m_depth++ == 0) {
                    ++m_callsBegun;
                    m_callingThread = self;
                    m_noCall.Reset();
                }
                return sink;
            }
        }
        WaitForSingleObject(m_noCall.Get(), INFINITE);
    }
}

void CSinkGate::EndCall() {
    Win32::Lock hold(m_state);
    if (--m_depth != 0) return;
    m_callingThread = 0;
    m_noCall.Set();
}

bool CSinkGate::AwaitTurn() {
    for (;;) {
        {
            Win32::Lock hold(m_state);
            if (m_depth == 0) return !m_closed;
        }
        WaitForSingleObject(m_noCall.Get(), INFINITE);
    }
}

void CSinkGate::Close() {
    m_closed = true;
    AwaitCallUnderWay(L"the event sink's call under way to return");
}

// Only the call under way at the start counts: one that began since found
// the new sink, or the gate closed. A call that begins between this check
// and the wait holds the wait until it ends too, no longer.
void CSinkGate::AwaitCallUnderWay(const wchar_t* waitingFor) {
    const DWORD self = GetCurrentThreadId();
    uint64_t callUnderWay = 0;
    {
        Win32::Lock hold(m_state);
        if (m_depth == 0 || m_callingThread.load() == self) return;
        callUnderWay = m_callsBegun;
    }
    for (;;) {
        Win32::WaitLettingSentMessagesThrough(m_noCall.Get(), waitingFor);
        Win32::Lock hold(m_state);
        // The calling thread changes both while this one waits unlocked.
        // cppcheck-suppress knownConditionTrueFalse
        if (m_depth == 0 || m_callsBegun != callUnderWay) return;
    }
}
