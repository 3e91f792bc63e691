#include "serial/SinkGate.h"

template <typename Call>
void CSinkGate::Deliver(Call call) {
    Win32::Lock hold(m_calls);
    IDeviceEventSink* sink = m_sink.load();
    if (m_closed || !sink) return;
    m_callingThread = GetCurrentThreadId();
    call(*sink);
    m_callingThread = 0;
}

void CSinkGate::OnEvent(DeviceEventCode code, const void* data, uint32_t count) {
    Deliver([&](IDeviceEventSink& sink) { sink.OnEvent(code, data, count); });
}

void CSinkGate::OnRequestDone(ITransferRequest* request) {
    Deliver([&](IDeviceEventSink& sink) { sink.OnRequestDone(request); });
}

void CSinkGate::Close() {
    m_closed = true;
    Win32::Lock waitForTheCallUnderWay(m_calls);
}
