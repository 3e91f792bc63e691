#pragma once
#include <windows.h>
#include "serial/ExchangeShared.h"
#include "serial/LineErrors.h"
#include "serial/SerialPort.h"

namespace Serial {

// The port as an exchange's worker operates it: every call of the exchange
// and of the transmitter on the device goes through here, and each answer
// carries the verdict on the device. Whether the device is still there is
// judged by evidence rather than by error codes: drivers report an unplug
// with many codes (and some with none at all), and refuse calls they do not
// support with the same codes. A failed call means the device is gone when
// the port no longer answers a query of its line state too (IoState::Gone,
// and every judged call answers so from then on); a call that failed from
// its first use while the port answers is one the driver does not support,
// and the exchange goes on without it; any other failure passes (Failed),
// and the caller tries again at its own pace. The host's side never reaches
// it: whether the port is held is published to the shared state.
class CWorkerPort {
public:
    // How often a quiet device is asked whether it is still there: an
    // adapter that vanishes without failing a call ends the exchange then.
    static constexpr ULONGLONG kQuietCheckMilliseconds = 1000;

    CWorkerPort(const SerialApi& api, CExchangeShared& shared) : m_port(api), m_shared(shared) {}
    CWorkerPort(const CWorkerPort&) = delete;
    CWorkerPort& operator=(const CWorkerPort&) = delete;

    // A new exchange on the port at path, opened at the time now; as
    // CSerialPort::Open.
    IoResult Open(const wchar_t* path, const DCB& line, ULONGLONG now);
    IoResult SetupQueues(DWORD inputSize, DWORD outputSize) { return m_port.SetupQueues(inputSize, outputSize); }
    IoResult SetTimeouts(const COMMTIMEOUTS& timeouts) { return m_port.SetTimeouts(timeouts); }
    bool IsOpen() const { return m_port.IsOpen(); }
    void Close();
    // Says what the exchange's line errors were, when there were any.
    void TraceLineErrors() { m_lineErrors.TraceTotals(); }

    // The device's status; the error word it clears goes to the line-error
    // count. Failed without a call once the driver has refused it.
    IoResult Status(COMSTAT* status);
    // As CSerialPort::WaitForReceive.
    IoResult WaitForReceive(DWORD milliseconds, HANDLE interrupt) {
        return Judged(Call::Wait, m_port.WaitForReceive(milliseconds, interrupt));
    }
    // False once the driver has refused the wait: the exchange then polls.
    bool Listens() const { return !m_unsupported[Index(Call::Wait)]; }
    IoResult EndListening();
    IoResult Read(DWORD count) { return Judged(Call::Read, m_port.Read(count)); }
    const uint8_t* Received() const { return m_port.Received(); }
    // Bytes came at the time now: the device is there.
    void DataCame(ULONGLONG now) { m_lastSign = now; }
    // Asks a device that has been quiet for a while whether it is there.
    void CheckWhenQuiet(ULONGLONG now);

    uint8_t* WriteBuffer() { return m_port.WriteBuffer(); }
    IoResult StartWrite(DWORD count) { return Judged(Call::Write, m_port.StartWrite(count)); }
    HANDLE WriteEvent() const { return m_port.WriteEvent(); }
    IoResult FinishWrite() { return Judged(Call::Write, m_port.FinishWrite()); }
    // Ends the running write, also on a driver that ignores the cancel: its
    // output is purged after the grace. Reports what the write moved; the
    // abort is ours, not judged.
    IoResult CancelWrite(DWORD graceMilliseconds, DWORD purgeMilliseconds);

    bool Gone() const { return m_goneError != ERROR_SUCCESS; }
    DWORD GoneError() const { return m_goneError; }
    // The call that saw the device gone, as the trace names it.
    const wchar_t* GoneBy() const { return Name(m_goneBy); }

private:
    // The calls whose failure is judged.
    enum class Call { Status, Wait, Read, Write, Quiet };
    static constexpr int kCalls = 5;
    static int Index(Call call) { return static_cast<int>(call); }
    static const wchar_t* Name(Call call);
    IoResult Judged(Call call, IoResult answer);
    void RecordGone(Call call, DWORD error);

    CSerialPort m_port;
    CExchangeShared& m_shared;
    CLineErrors m_lineErrors;
    const wchar_t* m_path = L"";
    bool m_worked[kCalls] = {};
    bool m_unsupported[kCalls] = {};
    DWORD m_goneError = ERROR_SUCCESS;
    Call m_goneBy = Call::Status;
    ULONGLONG m_lastSign = 0;
};

}  // namespace Serial
