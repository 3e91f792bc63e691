#include "Doctor.h"
#include <algorithm>
#include <vector>
#include "serial/Exchange.h"
#include "serial/LineRecord.h"
#include "win32/ManualResetEvent.h"
#include "win32/UniqueHandle.h"

namespace DevHost {
namespace {

// A read reported pending that ends this soon still returned at once for
// any purpose of the exchange.
constexpr DWORD kAtOnceMs = 50;
constexpr DWORD kLastChanceMs = 1000;
constexpr DWORD kStatusStepMs = 5;
constexpr DWORD kReadSize = 4096;

class Stopwatch {
public:
    Stopwatch() {
        QueryPerformanceFrequency(&m_frequency);
        QueryPerformanceCounter(&m_start);
    }
    DWORD Milliseconds() const {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        return static_cast<DWORD>((now.QuadPart - m_start.QuadPart) * 1000 / m_frequency.QuadPart);
    }

private:
    LARGE_INTEGER m_frequency;
    LARGE_INTEGER m_start;
};

CallAnswer Answer(BOOL taken) { return {true, taken ? ERROR_SUCCESS : GetLastError()}; }

DWORD BitsPerCharacter(const DCB& line) {
    return 1 + line.ByteSize + (line.Parity != NOPARITY ? 1 : 0) + (line.StopBits == ONESTOPBIT ? 1 : 2);
}

// One overlapped call and everything the driver writes into while it runs.
// Each is started at most once.
class OverlappedCall {
public:
    explicit OverlappedCall(DWORD bufferSize = 0) : m_buffer(bufferSize) { m_record.hEvent = m_event.Get(); }
    // A call still running when its port has closed is given a last chance
    // to end before its memory goes.
    ~OverlappedCall() {
        if (m_running) WaitForSingleObject(m_event.Get(), kLastChanceMs);
    }
    OverlappedCall(const OverlappedCall&) = delete;
    OverlappedCall& operator=(const OverlappedCall&) = delete;

    OVERLAPPED* Record() { return &m_record; }
    DWORD* Events() { return &m_events; }
    std::vector<uint8_t>& Buffer() { return m_buffer; }

    // ERROR_SUCCESS when the start completed or went pending (the call
    // runs until reaped), otherwise the error that refused it.
    DWORD Started(BOOL completed) {
        const DWORD error = completed ? ERROR_SUCCESS : GetLastError();
        m_running = completed || error == ERROR_IO_PENDING;
        return m_running ? ERROR_SUCCESS : error;
    }
    bool EndsWithin(DWORD milliseconds) const {
        return WaitForSingleObject(m_event.Get(), milliseconds) == WAIT_OBJECT_0;
    }
    // The error the ended call reports, and what it moved.
    DWORD Reap(HANDLE port, DWORD* count) {
        m_running = false;
        return GetOverlappedResult(port, &m_record, count, FALSE) ? ERROR_SUCCESS : GetLastError();
    }

private:
    OVERLAPPED m_record{};
    Win32::ManualResetEvent m_event = Win32::ManualResetEvent::Create();
    DWORD m_events = 0;
    std::vector<uint8_t> m_buffer;
    bool m_running = false;
};

class CDriverProbe {
public:
    CDriverProbe(const std::wstring& path, const DCB& stored) : m_path(path), m_stored(stored) {}

    DriverObservations Run() {
        if (!Open()) return m_seen;
        TryLineRecords();
        TryQueuesAndTimeouts();
        // Bytes an earlier program left in the driver would pass for data
        // on the quiet line the next calls need.
        PurgeComm(Port(), PURGE_RXCLEAR);
        COMSTAT status{};
        m_seen.status = Answer(Status(status));
        TryEmptyRead();
        TryCharacterWait();
        TryOutputCount();
        Restore();
        return m_seen;
    }

private:
    HANDLE Port() const { return m_port.Get(); }

    bool Open() {
        Stopwatch clock;
        HANDLE port = CreateFileW(m_path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OVERLAPPED, nullptr);
        m_seen.openError = port == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
        m_seen.openMilliseconds = clock.Milliseconds();
        m_port.Reset(port);
        if (!m_port.IsValid()) return false;
        m_driverRecord.DCBlength = sizeof m_driverRecord;
        m_seen.readRecord = Answer(GetCommState(Port(), &m_driverRecord));
        if (!m_seen.readRecord.Taken()) return false;
        GetCommMask(Port(), &m_driverMask);
        m_timeoutsRead = GetCommTimeouts(Port(), &m_driverTimeouts) != FALSE;
        return true;
    }

    // The equal characters come with XON/XOFF on, as the old zeroed record
    // had them, since some drivers check them only then.
    void TryLineRecords() {
        DCB own = m_driverRecord;
        m_seen.ownRecord = Answer(SetCommState(Port(), &own));
        DCB equal = m_driverRecord;
        equal.fOutX = equal.fInX = TRUE;
        equal.XonChar = equal.XoffChar = 0;
        m_seen.equalCharacters = Answer(SetCommState(Port(), &equal));
        // The driver's own record with the fields that shape the data set from
        // the stored settings, as the plug-in gives it.
        DCB user = LineRecord::ForDriver(m_driverRecord, m_stored);
        m_seen.userRecord = Answer(SetCommState(Port(), &user));
        // The rest runs at the settings an exchange would have.
        if (!m_seen.userRecord.Taken() && m_seen.equalCharacters.Taken()) SetCommState(Port(), &own);
    }

    void TryQueuesAndTimeouts() {
        m_seen.queues = Answer(SetupComm(Port(), Exchange::kQueueSize, Exchange::kQueueSize));
        COMMTIMEOUTS timeouts = Exchange::kTimeouts;
        m_seen.timeouts = Answer(SetCommTimeouts(Port(), &timeouts));
    }

    // Each call clears the word, so every call's flags are kept.
    BOOL Status(COMSTAT& status) {
        DWORD lineErrors = 0;
        const BOOL worked = ClearCommError(Port(), &lineErrors, &status);
        m_seen.lineErrors |= worked ? lineErrors : 0;
        return worked;
    }

    void NoteQueue(QuietCall& seen) {
        COMSTAT status{};
        seen.queueKnown = Status(status) != FALSE;
        seen.queued = status.cbInQue;
    }

    // Waits end with an empty mask where the cancel leaves them running.
    Ending EndPending(OverlappedCall& call, bool wait) {
        Ending ending;
        Stopwatch sinceCancel;
        CancelIoEx(Port(), call.Record());
        ending.byCancel = call.EndsWithin(kCancelGraceMs);
        ending.milliseconds = sinceCancel.Milliseconds();
        if (!ending.byCancel && wait) {
            Stopwatch sinceMask;
            SetCommMask(Port(), 0);
            ending.byEmptyMask = call.EndsWithin(kCancelGraceMs);
            ending.milliseconds = sinceMask.Milliseconds();
        }
        ending.ended = ending.byCancel || ending.byEmptyMask || call.EndsWithin(kLastChanceMs);
        if (!ending.byCancel && !ending.byEmptyMask) ending.milliseconds = sinceCancel.Milliseconds();
        DWORD count = 0;
        if (ending.ended) ending.error = call.Reap(Port(), &count);
        return ending;
    }

    // Observes a started wait or read for up to the time given.
    void Observe(OverlappedCall& call, DWORD startError, DWORD milliseconds, bool wait, QuietCall& seen) {
        Stopwatch clock;
        seen.startError = startError;
        if (startError != ERROR_SUCCESS) return;
        if (call.EndsWithin(milliseconds)) {
            seen.completed = true;
            seen.milliseconds = clock.Milliseconds();
            seen.error = call.Reap(Port(), &seen.result);
            if (wait) seen.result = *call.Events();
        } else {
            seen.ending = EndPending(call, wait);
        }
        NoteQueue(seen);
    }

    void TryEmptyRead() {
        std::vector<uint8_t>& buffer = m_read.Buffer();
        DWORD started = m_read.Started(ReadFile(Port(), buffer.data(), kReadSize, nullptr, m_read.Record()));
        Observe(m_read, started, kAtOnceMs, false, m_seen.emptyRead);
    }

    void TryCharacterWait() {
        SetCommMask(Port(), EV_RXCHAR);
        DWORD started = m_wait.Started(WaitCommEvent(Port(), m_wait.Events(), m_wait.Record()));
        Observe(m_wait, started, kCharacterWaitMs, true, m_seen.characterWait);
    }

    // About 100 ms of line time at the speed in effect, sampling the output
    // count while the write runs.
    void TryOutputCount() {
        DCB line = m_driverRecord;
        GetCommState(Port(), &line);
        const DWORD bits = BitsPerCharacter(line);
        const DWORD baud = std::max<DWORD>(line.BaudRate, 1);
        OutputCount& seen = m_seen.output;
        seen.bytes = std::clamp<DWORD>(baud / bits / 10, 16, 4096);
        const DWORD limit = seen.bytes * bits * 1000 / baud + kLastChanceMs;
        std::vector<uint8_t>& zeros = m_write.Buffer();
        zeros.assign(seen.bytes, 0);

        Stopwatch clock;
        const BOOL completed = WriteFile(Port(), zeros.data(), seen.bytes, nullptr, m_write.Record());
        seen.startError = m_write.Started(completed);
        if (seen.startError != ERROR_SUCCESS) return;
        seen.completedAtOnce = completed != FALSE;
        for (bool ended = seen.completedAtOnce; !ended && clock.Milliseconds() < limit;) {
            COMSTAT status{};
            if (Status(status)) {
                seen.statusWorked = true;
                seen.mostQueued = std::max(seen.mostQueued, status.cbOutQue);
            }
            ended = m_write.EndsWithin(kStatusStepMs);
        }
        seen.milliseconds = clock.Milliseconds();
        seen.completed = m_write.EndsWithin(0);
        DWORD sent = 0;
        if (seen.completed) {
            m_write.Reap(Port(), &sent);
        } else {
            EndPending(m_write, false);
        }
    }

    void Restore() {
        BOOL restored = SetCommMask(Port(), m_driverMask);
        if (restored && m_timeoutsRead) restored = SetCommTimeouts(Port(), &m_driverTimeouts);
        // A driver that took none of the records still has its own.
        const bool changed = m_seen.ownRecord.Taken() || m_seen.equalCharacters.Taken() || m_seen.userRecord.Taken();
        if (restored && changed) restored = SetCommState(Port(), &m_driverRecord);
        m_seen.restored = Answer(restored);
    }

    const std::wstring& m_path;
    const DCB& m_stored;
    DriverObservations m_seen;
    DCB m_driverRecord{};
    DWORD m_driverMask = 0;
    COMMTIMEOUTS m_driverTimeouts{};
    bool m_timeoutsRead = false;
    OverlappedCall m_read{kReadSize};
    OverlappedCall m_wait;
    OverlappedCall m_write;
    // Declared last, so it closes before the calls' memory goes.
    Win32::UniqueHandle m_port;
};

}  // namespace

DriverObservations ObserveDriver(const std::wstring& path, const DCB& stored) {
    return CDriverProbe(path, stored).Run();
}

}  // namespace DevHost
