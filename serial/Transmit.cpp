#include "serial/Transmit.h"
#include <algorithm>

using namespace Transmit;

CTransmitter::CTransmitter(ExchangeContext& context, DWORD waitStepMilliseconds)
    : m_context(context), m_waitStep(waitStepMilliseconds) {}

void CTransmitter::DrainQueue() {
    // A request left here is sent by a later turn or the next exchange; one
    // taken now could not be reported once the host withdrew its sink.
    while (!m_context.stop.IsSet() && m_context.sink.HasSink() && m_context.port.IsOpen()) {
        ITransferRequest* request = m_context.requests.Head();
        if (!request) return;
        m_context.requests.RemoveHead();
        // Checked when it was queued; a request that answers otherwise now
        // is not the host's to send.
        if (request->GetKind() != kRequestKind) return;
        TransmitRequest(request);
    }
}

void CTransmitter::TransmitRequest(ITransferRequest* request) {
    const uint8_t* position = request->GetData();
    const int32_t size = request->GetSize();
    DWORD remaining = size > 0 && position ? static_cast<DWORD>(size) : 0;

    while (remaining > 0 && !m_context.stop.IsSet()) {
        ChunkResult chunk = WriteChunk(position, std::min(remaining, kChunkSize));
        if (chunk.written > 0) m_context.sink.OnEvent(EventDataSent, position, chunk.written);
        // The next write starts right after the bytes that went out: a short
        // write neither skips nor repeats any.
        position += chunk.written;
        remaining -= chunk.written;
        if (chunk.requestEnds) break;
    }
    m_context.sink.OnRequestDone(request);
}

// Every write has ended when this returns, completed or cancelled, so the
// request's bytes are the host's again.
CTransmitter::ChunkResult CTransmitter::WriteChunk(const uint8_t* data, DWORD size) {
    CSerialPort& port = m_context.port;
    IoResult write = port.StartWrite(data, size);
    // Also clears a line error, which would stop the device's I/O.
    DWORD unsent = port.BytesUnsent();
    switch (write.state) {
        case IoState::Completed: return {write.bytes, write.bytes == 0};
        case IoState::Failed: return {0, true};
        case IoState::Pending: break;
    }
    if (WaitForWrite(unsent)) {
        // Its count stands whatever its result: those bytes went out.
        write = port.FinishWrite(true);
        return {write.bytes, write.bytes == 0};
    }
    write = port.CancelWrite();
    // It may have completed just before the cancel.
    return {write.bytes, write.bytes < size};
}

// A slow line empties the output queue a little at every step; only a line
// that takes nothing for six steps in a row is held. A stop ends the wait
// at once.
bool CTransmitter::WaitForWrite(DWORD unsent) {
    const HANDLE events[] = {m_context.port.WriteEvent(), m_context.stop.Event()};
    for (int stepsWithoutProgress = 0; stepsWithoutProgress < kStepsWithoutProgress;) {
        const DWORD waited = WaitForMultipleObjects(2, events, FALSE, m_waitStep);
        if (waited == WAIT_OBJECT_0) return true;
        if (waited != WAIT_TIMEOUT || m_context.stop.IsSet()) return false;
        const DWORD now = m_context.port.BytesUnsent();
        // An empty queue while the write is pending means the driver is not
        // taking its bytes.
        const bool progress = now != 0 && now < unsent;
        stepsWithoutProgress = progress ? 0 : stepsWithoutProgress + 1;
        unsent = now;
    }
    return false;
}
