#include "serial/WorkerPort.h"
#include <algorithm>
#include <cstring>
#include "serial/LineRecord.h"
#include "win32/Trace.h"

namespace Serial {

IoResult CWorkerPort::Open(const wchar_t* path, const DCB& line) {
    m_path = path;
    m_line = line;
    for (int call = 0; call < kCalls; ++call) {
        m_worked[call] = false;
        m_unsupported[call] = false;
    }
    m_goneError = ERROR_SUCCESS;
    m_lastSign = Now();
    m_lineErrors.Reset(path);
    const IoResult opened = m_port.Open(path, line);
    m_shared.PublishPortHeld(opened.Completed());
    return opened;
}

IoResult CWorkerPort::SetupQueues(DWORD inputSize, DWORD outputSize) {
    return Judged(Call::Setup, m_port.SetupQueues(inputSize, outputSize));
}

IoResult CWorkerPort::SetTimeouts(const COMMTIMEOUTS& timeouts) {
    return Judged(Call::Setup, m_port.SetTimeouts(timeouts));
}

void CWorkerPort::Close() {
    m_port.Close();
    m_shared.PublishPortHeld(false);
}

const wchar_t* CWorkerPort::Name(Call call) {
    switch (call) {
    case Call::Status: return L"status";
    case Call::Wait: return L"wait";
    case Call::Read: return L"read";
    case Call::Write: return L"write";
    case Call::Setup: return L"set-up";
    case Call::Quiet: return L"check of a quiet line";
    }
    return L"call";
}

IoResult CWorkerPort::Status(COMSTAT* status) {
    if (Gone()) return GoneAnswer(0);
    if (m_unsupported[Index(Call::Status)]) return {IoState::Failed, 0, ERROR_NOT_SUPPORTED};
    DWORD lineErrors = 0;
    const IoResult answer = Judged(Call::Status, m_port.ClearErrors(status, &lineErrors));
    if (answer.Completed()) m_lineErrors.Add(lineErrors, Now());
    return answer;
}

IoResult CWorkerPort::WaitForReceive(DWORD milliseconds, HANDLE interrupt) {
    if (Gone()) return GoneAnswer(0);
    return Judged(Call::Wait, m_port.WaitForReceive(milliseconds, interrupt));
}

// Putting the mask back proves nothing of the waits: only its failure is
// judged.
void CWorkerPort::EndListening() {
    const IoResult ended = m_port.EndListening();
    if (!ended.Completed()) Judged(Call::Wait, ended);
}

IoResult CWorkerPort::Read(DWORD count) {
    if (Gone()) return GoneAnswer(0);
    const IoResult read = Judged(Call::Read, m_port.Read(count));
    if (read.bytes > 0) m_lastSign = Now();
    return read;
}

// The port itself never answers Gone: only this judges so.
IoResult CWorkerPort::Judged(Call call, IoResult answer) {
    if (!answer.Failed()) {
        m_worked[Index(call)] = true;
        return answer;
    }
    if (!Gone() && m_port.QueryLineState().Failed()) RecordGone(call, answer.error);
    if (Gone()) return {IoState::Gone, answer.bytes, answer.error, answer.data};
    // Only calls the exchange can do without are given up.
    const bool dispensable = call == Call::Status || call == Call::Wait;
    if (dispensable && !m_worked[Index(call)] && !m_unsupported[Index(call)]) {
        m_unsupported[Index(call)] = true;
        Win32::Trace(L"%ls: the driver refuses the %ls call (error %lu) though the port answers: the exchange goes on "
                     L"without it",
                     m_path, Name(call), answer.error);
    }
    return answer;
}

void CWorkerPort::CheckWhenQuiet() {
    const ULONGLONG now = Now();
    if (Gone() || now - m_lastSign < kQuietCheckMilliseconds) return;
    m_lastSign = now;
    const IoResult answer = m_port.QueryLineState();
    if (answer.Failed()) RecordGone(Call::Quiet, answer.error);
}

void CWorkerPort::RecordGone(Call call, DWORD error) {
    // A driver that failed without saying why still lost its device.
    m_goneError = error != ERROR_SUCCESS ? error : ERROR_GEN_FAILURE;
    m_goneBy = call;
}

IoResult CWorkerPort::Write(const uint8_t* data, DWORD size) {
    if (Gone()) return GoneAnswer(0);
    size = std::min(size, CSerialPort::kWriteBufferSize);
    // The driver writes from the port's copy: a driver that holds the write
    // past the last Release must not read the host's freed bytes.
    if (!m_shared.Sink().ReadHostMemory([&] { std::memcpy(m_port.WriteBuffer(), data, size); })) {
        return {IoState::Failed, 0, ERROR_OPERATION_ABORTED};
    }
    const ULONGLONG begun = Now();
    IoResult write = Judged(Call::Write, m_port.StartWrite(size));
    // Also clears a line error, which would stop the device's I/O.
    DWORD unsent = 0;
    const bool answering = Unsent(&unsent);
    if (write.state == IoState::Pending && answering && WaitForWrite(size, unsent)) {
        write = Judged(Call::Write, m_port.FinishWrite());
    }
    if (write.state != IoState::Pending) {
        // Its count stands whatever its result: those bytes went out. A
        // failed write may have sent more than it reports (some drivers
        // time out after the bytes left), so the rest is not sent after it.
        if (write.state == IoState::Failed) {
            Win32::Trace(L"a write failed with error %lu after %lu of %lu bytes; the rest of the request is not sent",
                         write.error, write.bytes, size);
        }
        return write;
    }
    write = CancelWrite();
    // It may have completed just before the cancel.
    if (write.bytes >= size) return {IoState::Completed, write.bytes, ERROR_SUCCESS};
    if (Gone()) return GoneAnswer(write.bytes);
    if (!m_shared.Stopped()) {
        Win32::Trace(L"a write was given up after %llu ms: %lu of %lu bytes sent", Now() - begun, write.bytes, size);
    }
    return {IoState::Failed, write.bytes, ERROR_OPERATION_ABORTED};
}

// A slow line empties the output queue a little at every step; only a line
// that takes nothing for six steps in a row is held. A driver that does not
// count a pending write in its queue (it reports it empty) gets the write's
// line time at the configured speed, plus the same six steps. A stop ends
// the wait at once.
bool CWorkerPort::WaitForWrite(DWORD size, DWORD unsent) {
    const HANDLE events[] = {m_port.WriteEvent(), m_shared.StopEvent()};
    const ULONGLONG lineTimeUp =
        Now() + LineRecord::Milliseconds(size, m_line) + ULONGLONG{kWriteStepsWithoutProgress} * m_writeStep;
    for (int stepsWithoutProgress = 0; stepsWithoutProgress < kWriteStepsWithoutProgress;) {
        const DWORD waited = WaitForMultipleObjects(2, events, FALSE, m_writeStep);
        if (waited == WAIT_OBJECT_0) return true;
        if (waited != WAIT_TIMEOUT || m_shared.Stopped()) return false;
        DWORD now = 0;
        if (!Unsent(&now)) return false;
        if (now == 0) {
            if (Now() >= lineTimeUp) return false;
            continue;
        }
        stepsWithoutProgress = now < unsent ? 0 : stepsWithoutProgress + 1;
        unsent = now;
    }
    return false;
}

// A driver with no status call counts nothing in its output queue: its
// writes get their line time, as on a driver that does not count them.
bool CWorkerPort::Unsent(DWORD* bytes) {
    COMSTAT status{};
    const IoResult counted = Status(&status);
    *bytes = counted.Completed() ? status.cbOutQue : 0;
    return counted.state != IoState::Gone;
}

// Some drivers (USB and virtual ports among them) do not cancel a write
// the line holds; a purge of the output ends it. The port's copy of the
// bytes must stay until the write has ended, so one that outlives the purge
// too is still waited for, and the trace says why the worker waits. Once
// the host has let go, the bytes are nobody's: the purge comes at once.
// The abort is ours, not judged.
IoResult CWorkerPort::CancelWrite() {
    const DWORD grace = m_shared.Sink().Closed() ? 0 : kCancelMilliseconds;
    m_port.RequestWriteCancel();
    if (WaitForSingleObject(m_port.WriteEvent(), grace) == WAIT_TIMEOUT) {
        const bool purged = m_port.PurgeOutput().Completed();
        Win32::Trace(L"the driver did not cancel a write within %lu ms: its output %ls", grace,
                     purged ? L"was purged" : L"could not be purged");
        if (WaitForSingleObject(m_port.WriteEvent(), kPurgeMilliseconds) == WAIT_TIMEOUT) {
            Win32::Trace(L"a cancelled and purged write has not ended after %lu ms: waiting for the driver",
                         kPurgeMilliseconds);
        }
    }
    return m_port.FinishWrite();
}

}  // namespace Serial
