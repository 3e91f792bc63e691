#include "serial/WorkerPort.h"
#include "win32/Trace.h"

namespace Serial {

IoResult CWorkerPort::Open(const wchar_t* path, const DCB& line, ULONGLONG now) {
    m_path = path;
    for (int call = 0; call < kCalls; ++call) {
        m_worked[call] = false;
        m_unsupported[call] = false;
    }
    m_goneError = ERROR_SUCCESS;
    m_lastSign = now;
    m_lineErrors.Reset(path);
    const IoResult opened = m_port.Open(path, line);
    m_shared.PublishPortHeld(m_port.IsOpen());
    return opened;
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
    case Call::Quiet: return L"check of a quiet line";
    }
    return L"call";
}

IoResult CWorkerPort::Status(COMSTAT* status) {
    if (Gone()) return {IoState::Gone, 0, m_goneError};
    if (m_unsupported[Index(Call::Status)]) return {IoState::Failed, 0, ERROR_NOT_SUPPORTED};
    DWORD lineErrors = 0;
    const IoResult answer = Judged(Call::Status, m_port.ClearErrors(status, &lineErrors));
    if (answer.Completed()) m_lineErrors.Add(lineErrors, GetTickCount64());
    return answer;
}

// Putting the mask back proves nothing of the waits: only its failure is
// judged.
IoResult CWorkerPort::EndListening() {
    const IoResult ended = m_port.EndListening();
    return ended.Completed() ? ended : Judged(Call::Wait, ended);
}

IoResult CWorkerPort::Judged(Call call, IoResult answer) {
    if (answer.state != IoState::Failed) {
        m_worked[Index(call)] = true;
        return answer;
    }
    if (!Gone() && m_port.QueryLineState().Failed()) RecordGone(call, answer.error);
    if (Gone()) return {IoState::Gone, answer.bytes, answer.error};
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

void CWorkerPort::CheckWhenQuiet(ULONGLONG now) {
    if (Gone() || now - m_lastSign < kQuietCheckMilliseconds) return;
    m_lastSign = now;
    const IoResult answer = m_port.QueryLineState();
    if (answer.Failed()) RecordGone(Call::Quiet, answer.error);
}

// Some drivers (USB and virtual ports among them) do not cancel a write
// the line holds; a purge of the output ends it. The port's copy of the
// bytes must stay until the write has ended, so one that outlives the purge
// too is still waited for, and the trace says why the worker waits.
IoResult CWorkerPort::CancelWrite(DWORD graceMilliseconds, DWORD purgeMilliseconds) {
    m_port.RequestWriteCancel();
    if (WaitForSingleObject(m_port.WriteEvent(), graceMilliseconds) == WAIT_TIMEOUT) {
        const bool purged = m_port.PurgeOutput().Completed();
        Win32::Trace(L"the driver did not cancel a write within %lu ms: its output %ls", graceMilliseconds,
              purged ? L"was purged" : L"could not be purged");
        if (WaitForSingleObject(m_port.WriteEvent(), purgeMilliseconds) == WAIT_TIMEOUT) {
            Win32::Trace(L"a cancelled and purged write has not ended after %lu ms: waiting for the driver",
                  purgeMilliseconds);
        }
    }
    return m_port.FinishWrite();
}

void CWorkerPort::RecordGone(Call call, DWORD error) {
    // A driver that failed without saying why still lost its device.
    m_goneError = error != ERROR_SUCCESS ? error : ERROR_GEN_FAILURE;
    m_goneBy = call;
}

}  // namespace Serial
