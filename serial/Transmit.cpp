#include "Transmit.h"
#include <algorithm>

using namespace Transmit;

CTransmitter::CTransmitter(CSerialPort& port, const std::atomic<IDeviceEventSink*>& sink,
                           const std::atomic<bool>& stop, CRequestQueue& queue, DWORD waitStepMilliseconds)
    : m_port(port), m_sink(sink), m_stop(stop), m_queue(queue), m_waitStep(waitStepMilliseconds) {}

void CTransmitter::DrainQueue() {
    // A request left here is sent by a later turn or the next exchange; one
    // taken now could not be reported once the host withdrew its sink.
    while (!m_stop && m_sink.load() && m_port.IsOpen()) {
        ITransferRequest* request = m_queue.Head();
        if (!request) return;
        m_queue.RemoveHead();
        // Checked when it was queued; a request that answers otherwise now
        // is not the host's to send.
        if (request->GetKind() != kRequestKind) return;
        TransmitRequest(request);
    }
}

void CTransmitter::TransmitRequest(ITransferRequest* request) {
    m_writeEvent = Win32::ManualResetEvent::Create();
    m_record = OVERLAPPED{};
    m_record.hEvent = m_writeEvent.Get();
    const uint8_t* position = request->GetData();
    const int32_t size = request->GetSize();
    // Without its event a write could not be waited for.
    DWORD remaining = size > 0 && position && m_writeEvent.IsValid() ? static_cast<DWORD>(size) : 0;

    while (remaining > 0 && !m_stop) {
        ChunkResult chunk = WriteChunk(position, std::min(remaining, kChunkSize));
        if (chunk.written > 0) Send(EventDataSent, position, chunk.written);
        // The next write starts right after the bytes that went out: a short
        // write neither skips nor repeats any.
        position += chunk.written;
        remaining -= chunk.written;
        if (chunk.requestEnds) break;
    }

    m_writeEvent = Win32::ManualResetEvent();
    if (IDeviceEventSink* sink = m_sink.load()) sink->OnRequestDone(request);
}

// Every write is over when this returns, completed or cancelled, so the
// record and its event are free for the next one.
CTransmitter::ChunkResult CTransmitter::WriteChunk(const uint8_t* data, DWORD size) {
    m_writeEvent.Reset();
    DWORD written = 0;
    IoStart start = m_port.Write(data, size, &m_record, &written);
    // Also clears a line error, which would stop the device's I/O.
    DWORD unsent = m_port.BytesUnsent();
    switch (start) {
        case IoStart::Completed: return {written, written == 0};
        case IoStart::Failed: return {0, true};
        case IoStart::Pending: break;
    }
    if (WaitForWrite(unsent)) {
        // Its count stands whatever its result: those bytes went out.
        m_port.GetIoResult(&m_record, &written, true);
        return {written, written == 0};
    }
    written = m_port.CancelPending(&m_record);
    // It may have completed just before the cancel.
    return {written, written < size};
}

// A slow line empties the output queue a little at every step; only a line
// that takes nothing for six steps in a row is held.
bool CTransmitter::WaitForWrite(DWORD unsent) {
    for (int stepsWithoutProgress = 0; stepsWithoutProgress < kStepsWithoutProgress;) {
        DWORD waited = WaitForSingleObject(m_record.hEvent, m_waitStep);
        if (waited == WAIT_OBJECT_0) return true;
        if (waited != WAIT_TIMEOUT || m_stop) return false;
        DWORD now = m_port.BytesUnsent();
        // An empty queue while the write is pending means the driver is not
        // taking its bytes.
        bool progress = now != 0 && now < unsent;
        stepsWithoutProgress = progress ? 0 : stepsWithoutProgress + 1;
        unsent = now;
    }
    return false;
}

void CTransmitter::Send(DeviceEventCode code, const void* data, uint32_t count) const {
    if (IDeviceEventSink* sink = m_sink.load()) sink->OnEvent(code, data, count);
}
