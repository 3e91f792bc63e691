#pragma once
#include <windows.h>
#include <cstdint>
#include "serial/ExchangeShared.h"
#include "serial/LineErrors.h"
#include "serial/SerialPort.h"

namespace Serial {

// A clock in milliseconds that never goes back: the idle time must not follow
// changes of the wall clock. Every time the worker measures is read from one.
using Clock = ULONGLONG(WINAPI*)();

// The port as an exchange's worker operates it: every call of the exchange
// and of the transmitter on the device goes through here, and each answer
// carries the verdict on the device. Whether the device is still there is
// judged by evidence rather than by error codes: drivers report an unplug
// with many codes (and some with none at all), and refuse calls they do not
// support with the same codes. A failed call means the device is gone when
// the port no longer answers a query of its line state too (IoState::Gone,
// and every call answers so from then on); a call that failed from its
// first use while the port answers is one the driver does not support, and
// the exchange goes on without it; any other failure passes (Failed), and
// the caller tries again at its own pace. The host's side never reaches it:
// whether the port is held is published to the shared state.
class CWorkerPort {
public:
    // How often a quiet device is asked whether it is still there: an
    // adapter that vanishes without failing a call ends the exchange then.
    static constexpr ULONGLONG kQuietCheckMilliseconds = 1000;
    // A write's progress is looked at in these steps; a line that takes
    // nothing for this many steps in a row is held, not slow (3 s).
    static constexpr DWORD kWriteStepMilliseconds = 500;
    static constexpr int kWriteStepsWithoutProgress = 6;
    // A write the driver has not ended this long after its cancel is purged;
    // one that outlives the purge this long is waited for, with a trace line.
    static constexpr DWORD kCancelMilliseconds = 100;
    static constexpr DWORD kPurgeMilliseconds = 1000;

    CWorkerPort(const SerialApi& api, CExchangeShared& shared, Clock clock,
                DWORD writeStepMilliseconds = kWriteStepMilliseconds)
        : m_port(api), m_shared(shared), m_clock(clock), m_writeStep(writeStepMilliseconds) {}
    CWorkerPort(const CWorkerPort&) = delete;
    CWorkerPort& operator=(const CWorkerPort&) = delete;

    ULONGLONG Now() const { return m_clock(); }

    // A new exchange on the port at path, with the line record the user
    // set; as CSerialPort::Open. The path must outlive the exchange.
    IoResult Open(const wchar_t* path, const DCB& line);
    const DCB& Line() const { return m_line; }
    IoResult SetupQueues(DWORD inputSize, DWORD outputSize);
    IoResult SetTimeouts(const COMMTIMEOUTS& timeouts);
    bool IsOpen() const { return m_port.IsOpen(); }
    void Close();
    // Says what the exchange's line errors were, when there were any.
    void TraceLineErrors() { m_lineErrors.TraceTotals(); }

    // The device's status; the error word it clears goes to the line-error
    // count. Failed without a call once the driver has refused it.
    IoResult Status(COMSTAT* status);
    // As CSerialPort::WaitForReceive.
    IoResult WaitForReceive(DWORD milliseconds, HANDLE interrupt);
    // False once the driver has refused the wait: the exchange then polls.
    bool Listens() const { return !m_unsupported[Index(Call::Wait)]; }
    // Ends the listening wait, so that a long write has the line to itself.
    // A refused mask change is judged and costs only speed.
    void EndListening();
    // Reads up to count bytes; the result's data holds them until the next
    // read. Bytes that came are a sign that the device is there.
    IoResult Read(DWORD count);
    // Asks a device that has been quiet for a while whether it is there.
    void CheckWhenQuiet();

    // Writes up to a write buffer's worth of the host's bytes, copied
    // through the sink's gate first, and ends the write before it returns:
    // completed, given up on a held line, cut by the stop or failed. The
    // result's bytes went out; Completed while a request may go on after
    // them. The trace says what a write that was given up or failed left
    // unsent.
    IoResult Write(const uint8_t* data, DWORD size);

    bool Gone() const { return m_goneError != ERROR_SUCCESS; }
    DWORD GoneError() const { return m_goneError; }
    // The call that saw the device gone, as the trace names it.
    const wchar_t* GoneBy() const { return Name(m_goneBy); }

private:
    // The calls whose failure is judged.
    enum class Call { Status, Wait, Read, Write, Setup, Quiet };
    static constexpr int kCalls = 6;
    static int Index(Call call) { return static_cast<int>(call); }
    static const wchar_t* Name(Call call);
    IoResult Judged(Call call, IoResult answer);
    // What every call answers once the device has gone.
    IoResult GoneAnswer(DWORD bytes) const { return {IoState::Gone, bytes, m_goneError}; }
    void RecordGone(Call call, DWORD error);

    // True when the running write completed; false when the line held it,
    // the device went or the stop came first.
    bool WaitForWrite(DWORD size, DWORD unsentAtStart);
    // The output queue's count (0 from a driver with no status call);
    // false when the device has gone.
    bool Unsent(DWORD* bytes);
    IoResult CancelWrite();

    CSerialPort m_port;
    CExchangeShared& m_shared;
    const Clock m_clock;
    const DWORD m_writeStep;
    CLineErrors m_lineErrors;
    const wchar_t* m_path = L"";
    // The record the port was opened with: its speed tells a slow line from
    // a held one where the driver does not count a pending write.
    DCB m_line{};
    bool m_worked[kCalls] = {};
    bool m_unsupported[kCalls] = {};
    DWORD m_goneError = ERROR_SUCCESS;
    Call m_goneBy = Call::Status;
    ULONGLONG m_lastSign = 0;
};

}  // namespace Serial
