#include "serial/Transmit.h"
#include <algorithm>
#include "serial/LineRecord.h"
#include "win32/Trace.h"

namespace Serial {

using namespace Transmit;

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
        HandBack(request);
    }
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
    if (LineRecord::Milliseconds(remaining, m_port.Line()) > kLongWriteMilliseconds) m_port.EndListening();
    // Once out of the queue a request is sent: a stop ends it after its
    // first chunk, which the stop may cut short.
    for (bool first = true; remaining > 0 && (first || !m_shared.Stopped()); first = false) {
        const IoResult chunk = m_port.Write(position, std::min(remaining, kChunkSize));
        if (chunk.bytes > 0) m_shared.Sink().OnEvent(EventDataSent, position, chunk.bytes);
        // The next write starts right after the bytes that went out: a short
        // write neither skips nor repeats any.
        position += chunk.bytes;
        remaining -= chunk.bytes;
        if (!chunk.Completed() || chunk.bytes == 0) break;
    }
    HandBack(request);
}

// A host that has let go waits for no request; one that withdrew its sink
// meanwhile may, and the trace says where the request went.
void CTransmitter::HandBack(ITransferRequest* request) {
    if (m_shared.Sink().OnRequestDone(request) || m_shared.Sink().Closed()) return;
    Win32::Trace(L"a request was done while no event sink was set: the host was not told");
}

}  // namespace Serial
