#include "serial/Transmit.h"
#include <algorithm>
#include "serial/Trace.h"

using namespace Transmit;

ULONGLONG Transmit::LineMilliseconds(DWORD count, const DCB& line) {
    const ULONGLONG dataBits = line.ByteSize >= 5 && line.ByteSize <= 8 ? line.ByteSize : 8;
    const ULONGLONG parityBits = line.Parity == NOPARITY ? 0 : 1;
    const ULONGLONG stopTenths = line.StopBits == TWOSTOPBITS ? 20 : line.StopBits == ONE5STOPBITS ? 15 : 10;
    // In tenths of a bit: a start bit, the data, the parity, the stop bits.
    const ULONGLONG tenthsPerCharacter = 10 * (1 + dataBits + parityBits) + stopTenths;
    const ULONGLONG baud = std::max<DWORD>(line.BaudRate, kSlowestBaud);
    return (count * tenthsPerCharacter * 100 + baud - 1) / baud;
}

CTransmitter::CTransmitter(ExchangeContext& context, const DCB& line, DWORD waitStepMilliseconds)
    : m_context(context), m_line(line), m_waitStep(waitStepMilliseconds) {}

void CTransmitter::DrainQueue() {
    // A request left here is sent by a later turn or the next exchange; one
    // taken now could not be reported once the host withdrew its sink.
    while (!m_context.stop.IsSet() && !m_context.health.Gone() && m_context.sink.HasSink() &&
           m_context.port.IsOpen()) {
        ITransferRequest* request = m_context.requests.Head();
        if (!request) return;
        m_context.requests.RemoveHead();
        // Checked when it was queued; a request that answers otherwise now
        // is not the host's to send. The request is the host's object, so
        // it is asked through the gate, as the sink is.
        int32_t kind = 0;
        if (!m_context.sink.Reach([&](IDeviceEventSink&) { kind = request->GetKind(); })) return;
        if (kind != kRequestKind) return;
        TransmitRequest(request);
    }
}

void CTransmitter::TransmitRequest(ITransferRequest* request) {
    const uint8_t* position = nullptr;
    int32_t size = 0;
    m_context.sink.Reach([&](IDeviceEventSink&) {
        position = request->GetData();
        size = request->GetSize();
    });
    DWORD remaining = size > 0 && position ? static_cast<DWORD>(size) : 0;

    // Nothing is read while a request goes out; the next listening turn
    // asks the driver what came meanwhile. A short request leaves the
    // listening wait pending, so an instrument's answer ends it at once; a
    // long one ends it, as some drivers watch the line for a pending wait
    // (Wine's polls it every millisecond) and would slow the write.
    if (LineMilliseconds(remaining, m_line) > kLongWriteMilliseconds) m_context.port.EndListening();
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
    const ULONGLONG begun = GetTickCount64();
    IoResult write = port.StartWrite(data, size);
    // Also clears a line error, which would stop the device's I/O.
    DWORD unsent = 0;
    const bool answering = Unsent(&unsent);
    if (write.state == IoState::Pending && answering && WaitForWrite(size, unsent)) write = port.FinishWrite(true);
    if (write.state != IoState::Pending) {
        // Its count stands whatever its result: those bytes went out. A
        // failed write may have sent more than it reports (some drivers
        // time out after the bytes left), so the rest is not sent after it.
        if (write.state == IoState::Failed) Failed(write, size);
        return {write.bytes, write.state == IoState::Failed || write.bytes == 0};
    }
    write = port.CancelWrite();
    // It may have completed just before the cancel.
    if (write.bytes < size && !m_context.stop.IsSet() && !m_context.health.Gone()) {
        Trace(L"a write was given up after %llu ms: %lu of %lu bytes sent", GetTickCount64() - begun, write.bytes,
              size);
    }
    return {write.bytes, write.bytes < size};
}

// A slow line empties the output queue a little at every step; only a line
// that takes nothing for six steps in a row is held. A driver that does not
// count a pending write in its queue (it reports it empty) gets the write's
// line time at the configured speed, plus the same six steps. A stop ends
// the wait at once.
bool CTransmitter::WaitForWrite(DWORD size, DWORD unsent) {
    const HANDLE events[] = {m_context.port.WriteEvent(), m_context.stop.Event()};
    const ULONGLONG lineTimeUp =
        GetTickCount64() + LineMilliseconds(size, m_line) + ULONGLONG{kStepsWithoutProgress} * m_waitStep;
    for (int stepsWithoutProgress = 0; stepsWithoutProgress < kStepsWithoutProgress;) {
        const DWORD waited = WaitForMultipleObjects(2, events, FALSE, m_waitStep);
        if (waited == WAIT_OBJECT_0) return true;
        if (waited != WAIT_TIMEOUT || m_context.stop.IsSet()) return false;
        DWORD now = 0;
        if (!Unsent(&now)) return false;
        if (now == 0) {
            if (GetTickCount64() >= lineTimeUp) return false;
            continue;
        }
        stepsWithoutProgress = now < unsent ? 0 : stepsWithoutProgress + 1;
        unsent = now;
    }
    return false;
}

// A driver with no status call counts nothing in its output queue: its
// writes get their line time, as on a driver that does not count them.
bool CTransmitter::Unsent(DWORD* bytes) {
    COMSTAT status{};
    *bytes = m_context.health.Status(&status) ? status.cbOutQue : 0;
    return !m_context.health.Gone();
}

void CTransmitter::Failed(const IoResult& write, DWORD size) {
    if (m_context.health.Failed(PortCall::Write, write.error)) return;
    Trace(L"a write failed with error %lu after %lu of %lu bytes; the rest of the request is not sent", write.error,
          write.bytes, size);
}
