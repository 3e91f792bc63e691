#include "serial/SinkGate.h"

void CSinkGate::Set(IDeviceEventSink* sink) {
    m_sink = sink;
    if (!InsideCall()) Win32::Lock waitForTheCallUnderWay(m_calls);
}

void CSinkGate::OnEvent(DeviceEventCode code, const void* data, uint32_t count) {
    Reach([&](IDeviceEventSink& sink) { sink.OnEvent(code, data, count); });
}

void CSinkGate::OnRequestDone(ITransferRequest* request) {
    Reach([&](IDeviceEventSink& sink) { sink.OnRequestDone(request); });
}

bool CSinkGate::AwaitTurn() {
    Win32::Lock waitForTheCallUnderWay(m_calls);
    return !m_closed;
}

void CSinkGate::Close() {
    m_closed = true;
    Win32::Lock waitForTheCallUnderWay(m_calls);
}
