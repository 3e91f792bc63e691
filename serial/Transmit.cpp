#include "serial/Transmit.h"
#include <algorithm>
#include <cstring>
#include "win32/Trace.h"

namespace Serial {

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

CTransmitter::CTransmitter(CWorkerPort& port, CExchangeShared& shared, const DCB& line, DWORD waitStepMilliseconds)
    : m_port(port), m_shared(shared), m_line(line), m_waitStep(waitStepMilliseconds) {}

void CTransmitter::DrainQueue() {
    // A request left here is sent by a later turn or the next exchange: it
    // leaves the queue only once the host's sink was there to read it, so
    // that its end can be reported.
    while (!m_shared.Stopped() && !m_port.Gone() && m_port.IsOpen()) {
        ITransferRequest* request = m_shared.Requests().Head();
        if (!request) return;
        Contents contents{};
        // A stop that came while its getters ran leaves it queued, whole.
        if (!Read(request, &contents) || m_shared.Stopped()) return;
        m_shared.Requests().RemoveHead();
        if (contents.kind == kSendBytesRequestKind) {
            Send(request, contents);
            continue;
        }
        // Checked when it was queued; one that answers otherwise now is not
        // the host's to send, but the host may wait for it.
        Win32::Trace(L"a queued request changed its kind to %ld: handed back unsent", static_cast<long>(contents.kind));
        m_shared.Sink().OnRequestDone(request);
    }
}

void CTransmitter::TransmitRequest(ITransferRequest* request) {
    Contents contents{};
    Read(request, &contents);
    Send(request, contents);
}

// The request is the host's object, so it is asked through the gate, as
// the sink is, each getter on its own: a last Release begun during one
// (inside it, too) lets no later getter ask a request the host may free.
bool CTransmitter::Read(ITransferRequest* request, Contents* contents) {
    CSinkGate& gate = m_shared.Sink();
    return gate.Reach([&](IDeviceEventSink&) { contents->kind = request->GetKind(); }) &&
           gate.Reach([&](IDeviceEventSink&) { contents->data = request->GetData(); }) &&
           gate.Reach([&](IDeviceEventSink&) { contents->size = request->GetSize(); });
}

void CTransmitter::Send(ITransferRequest* request, const Contents& contents) {
    const uint8_t* position = contents.data;
    DWORD remaining = contents.size > 0 && position ? static_cast<DWORD>(contents.size) : 0;

    // Nothing is read while a request goes out; the next listening turn
    // asks the driver what came meanwhile. A short request leaves the
    // listening wait pending, so an instrument's answer ends it at once; a
    // long one ends it, as some drivers watch the line for a pending wait
    // (Wine's polls it every millisecond) and would slow the write.
    if (LineMilliseconds(remaining, m_line) > kLongWriteMilliseconds) m_port.EndListening();
    // Once out of the queue a request is sent: a stop ends it after its
    // first chunk, which the stop may cut short.
    for (bool first = true; remaining > 0 && (first || !m_shared.Stopped()); first = false) {
        const DWORD size = std::min(remaining, kChunkSize);
        // The driver writes from the port's copy: a driver that holds the
        // write past the last Release must not read the host's freed bytes.
        if (!m_shared.Sink().ReadHostMemory([&] { std::memcpy(m_port.WriteBuffer(), position, size); })) break;
        const IoResult chunk = WriteChunk(size);
        if (chunk.bytes > 0) m_shared.Sink().OnEvent(EventDataSent, position, chunk.bytes);
        // The next write starts right after the bytes that went out: a short
        // write neither skips nor repeats any.
        position += chunk.bytes;
        remaining -= chunk.bytes;
        if (!chunk.Completed() || chunk.bytes == 0) break;
    }
    m_shared.Sink().OnRequestDone(request);
}

// Every write has ended when this returns, completed or cancelled, so the
// request's bytes are the host's again.
IoResult CTransmitter::WriteChunk(DWORD size) {
    const ULONGLONG begun = GetTickCount64();
    IoResult write = m_port.StartWrite(size);
    // Also clears a line error, which would stop the device's I/O.
    DWORD unsent = 0;
    const bool answering = Unsent(&unsent);
    if (write.state == IoState::Pending && answering && WaitForWrite(size, unsent)) write = m_port.FinishWrite();
    if (write.state != IoState::Pending) {
        // Its count stands whatever its result: those bytes went out. A
        // failed write may have sent more than it reports (some drivers
        // time out after the bytes left), so the rest is not sent after it.
        if (write.Failed()) Failed(write, size);
        return write;
    }
    // Once the host has let go, the bytes are nobody's: the purge comes at
    // once.
    write = m_port.CancelWrite(m_shared.Sink().Closed() ? 0 : kCancelMilliseconds, kPurgeMilliseconds);
    // It may have completed just before the cancel.
    if (write.bytes >= size) return {IoState::Completed, write.bytes, ERROR_SUCCESS};
    if (!m_shared.Stopped() && !m_port.Gone()) {
        Win32::Trace(L"a write was given up after %llu ms: %lu of %lu bytes sent", GetTickCount64() - begun, write.bytes,
              size);
    }
    return {IoState::Failed, write.bytes, ERROR_OPERATION_ABORTED};
}

// A slow line empties the output queue a little at every step; only a line
// that takes nothing for six steps in a row is held. A driver that does not
// count a pending write in its queue (it reports it empty) gets the write's
// line time at the configured speed, plus the same six steps. A stop ends
// the wait at once.
bool CTransmitter::WaitForWrite(DWORD size, DWORD unsent) {
    const HANDLE events[] = {m_port.WriteEvent(), m_shared.StopEvent()};
    const ULONGLONG lineTimeUp =
        GetTickCount64() + LineMilliseconds(size, m_line) + ULONGLONG{kStepsWithoutProgress} * m_waitStep;
    for (int stepsWithoutProgress = 0; stepsWithoutProgress < kStepsWithoutProgress;) {
        const DWORD waited = WaitForMultipleObjects(2, events, FALSE, m_waitStep);
        if (waited == WAIT_OBJECT_0) return true;
        if (waited != WAIT_TIMEOUT || m_shared.Stopped()) return false;
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
    const IoResult counted = m_port.Status(&status);
    *bytes = counted.Completed() ? status.cbOutQue : 0;
    return counted.state != IoState::Gone;
}

void CTransmitter::Failed(const IoResult& write, DWORD size) {
    if (write.state == IoState::Gone) return;
    Win32::Trace(L"a write failed with error %lu after %lu of %lu bytes; the rest of the request is not sent", write.error,
          write.bytes, size);
}

}  // namespace Serial
