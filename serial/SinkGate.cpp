#include "serial/SinkGate.h"
#include "win32/SentMessageWait.h"

namespace Serial {

void CSinkGate::Set(IDeviceEventSink* sink) {
    m_sink = sink;
    if (!InsideCall()) AwaitCallUnderWay(L"a call to the old event sink to return");
}

bool CSinkGate::OnEvent(DeviceEventCode code, const void* data, uint32_t count) {
    return Reach([&](IDeviceEventSink& sink) { sink.OnEvent(code, data, count); });
}

bool CSinkGate::OnRequestDone(ITransferRequest* request) {
    return Reach([&](IDeviceEventSink& sink) { sink.OnRequestDone(request); });
}

bool CSinkGate::BeginCall(bool needsSink, IDeviceEventSink** sink) {
    const DWORD self = GetCurrentThreadId();
    Win32::CLock hold(m_state);
    for (;;) {
        if (m_closed) return false;
        if (m_depth == 0 || m_callingThread.load() == self) break;
        AwaitNoCall([](HANDLE noCall) { WaitForSingleObject(noCall, INFINITE); });
    }
    // Read with the call marked, so that a sink set meanwhile is either
    // this one or waits for this call.
    *sink = m_sink.load();
    if (needsSink && !*sink) return false;
    if (m_depth++ == 0) {
        ++m_callsBegun;
        m_callingThread = self;
        if (m_waiters != 0) m_noCall.Clear();
    }
    return true;
}

void CSinkGate::EndCall() {
    Win32::CLock hold(m_state);
    if (--m_depth != 0) return;
    m_callingThread = 0;
    if (m_waiters != 0) m_noCall.Set();
}

bool CSinkGate::AwaitTurn() {
    Win32::CLock hold(m_state);
    while (m_depth != 0) AwaitNoCall([](HANDLE noCall) { WaitForSingleObject(noCall, INFINITE); });
    return !m_closed;
}

void CSinkGate::Close() {
    m_closed = true;
    AwaitCallUnderWay(L"the event sink's call under way to return");
}

// Only the call under way at the start counts: one that began since found
// the new sink, or the gate closed.
void CSinkGate::AwaitCallUnderWay(const wchar_t* waitingFor) {
    Win32::CLock hold(m_state);
    if (m_depth == 0 || m_callingThread.load() == GetCurrentThreadId()) return;
    const uint64_t callUnderWay = m_callsBegun;
    while (m_depth != 0 && m_callsBegun == callUnderWay) {
        AwaitNoCall([waitingFor](HANDLE noCall) { Win32::WaitLettingSentMessagesThrough(noCall, waitingFor); });
    }
}

}  // namespace Serial
