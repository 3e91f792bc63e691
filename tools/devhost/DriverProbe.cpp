#include <algorithm>
#include <vector>
#include "DriverObservations.h"
#include "OverlappedCall.h"
#include "win32/UniqueHandle.h"

namespace DevHost {
namespace {

// A read reported pending that ends this soon still returned at once for
// any purpose of the exchange.
constexpr DWORD kAtOnceMs = 50;
constexpr DWORD kStatusStepMs = 5;
constexpr DWORD kReadSize = 4096;
// A driver may still be finishing the plug-in's close: the plug-in, too,
// tries a busy port again for 2 s.
constexpr DWORD kReopenMs = 2000;
constexpr DWORD kReopenStepMs = 100;

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

Win32::UniqueHandle OpenPort(const std::wstring& path, DWORD& error) {
    Win32::UniqueHandle port(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                         FILE_FLAG_OVERLAPPED, nullptr));
    error = port.IsValid() ? ERROR_SUCCESS : GetLastError();
    return port;
}

// In half bits, so that 1.5 stop bits count as they are: a start bit, the
// data, the parity, the stop bits.
DWORD HalfBitsPerCharacter(const DCB& line) {
    const DWORD stopHalves = line.StopBits == TWOSTOPBITS ? 4 : line.StopBits == ONE5STOPBITS ? 3 : 2;
    return 2 * (1 + line.ByteSize + (line.Parity != NOPARITY ? 1 : 0)) + stopHalves;
}

class CDriverProbe {
public:
    explicit CDriverProbe(HANDLE port) : m_port(port) {}

    DriverObservations Run(const DriverState& first) {
        m_line.DCBlength = sizeof m_line;
        GetCommState(m_port, &m_line);
        TryLineRecords();
        COMMTIMEOUTS atOnce{MAXDWORD, 0, 0, 0, 0};
        m_seen.readTimeouts = Answer(SetCommTimeouts(m_port, &atOnce));
        // Bytes an earlier program left in the driver would pass for data
        // on the quiet line the next calls need.
        PurgeComm(m_port, PURGE_RXCLEAR);
        COMSTAT status{};
        m_seen.status = Answer(Status(status));
        TryEmptyRead();
        TryCharacterWait();
        TryOutputCount();
        Restore(first);
        return m_seen;
    }

private:
    // The equal characters come with XON/XOFF on, as the old zeroed record
    // had them, since some drivers check them only then.
    void TryLineRecords() {
        DCB own = m_line;
        m_seen.ownRecord = Answer(SetCommState(m_port, &own));
        DCB equal = m_line;
        equal.fOutX = equal.fInX = TRUE;
        equal.XonChar = equal.XoffChar = 0;
        m_seen.equalCharacters = Answer(SetCommState(m_port, &equal));
        SetCommState(m_port, &own);
    }

    // Each call clears the word, so every call's flags are kept.
    BOOL Status(COMSTAT& status) {
        DWORD lineErrors = 0;
        const BOOL worked = ClearCommError(m_port, &lineErrors, &status);
        m_seen.lineErrors |= worked ? lineErrors : 0;
        return worked;
    }

    // Waits end with an empty mask where the cancel leaves them running.
    Ending EndPending(COverlappedCall& call, bool wait) {
        Ending ending;
        const Stopwatch sinceCancel;
        CancelIoEx(m_port, call.Record());
        ending.byCancel = call.EndsWithin(kCancelGraceMs);
        ending.milliseconds = sinceCancel.Milliseconds();
        if (!ending.byCancel && wait) {
            const Stopwatch sinceMask;
            SetCommMask(m_port, 0);
            ending.byEmptyMask = call.EndsWithin(kCancelGraceMs);
            ending.milliseconds = sinceMask.Milliseconds();
        }
        ending.ended = ending.byCancel || ending.byEmptyMask || call.EndsWithin(COverlappedCall::kLastChanceMs);
        if (!ending.byCancel && !ending.byEmptyMask) ending.milliseconds = sinceCancel.Milliseconds();
        DWORD moved = 0;
        if (ending.ended) ending.error = call.Reap(&moved);
        return ending;
    }

    // A started wait or read, for up to the time given.
    void Observe(COverlappedCall& call, DWORD startError, DWORD milliseconds, bool wait, QuietCall& seen) {
        const Stopwatch clock;
        seen.startError = startError;
        if (startError != ERROR_SUCCESS) return;
        if (call.EndsWithin(milliseconds)) {
            seen.completed = true;
            seen.milliseconds = clock.Milliseconds();
            seen.error = call.Reap(&seen.result);
            if (wait) seen.result = *call.Events();
        } else {
            seen.ending = EndPending(call, wait);
        }
        COMSTAT status{};
        seen.queueKnown = Status(status) != FALSE;
        seen.queued = status.cbInQue;
    }

    void TryEmptyRead() {
        COverlappedCall read(m_port, kReadSize);
        const DWORD started = read.Started(ReadFile(m_port, read.Buffer().data(), kReadSize, nullptr, read.Record()));
        Observe(read, started, kAtOnceMs, false, m_seen.emptyRead);
    }

    void TryCharacterWait() {
        COverlappedCall wait(m_port, 0);
        SetCommMask(m_port, EV_RXCHAR);
        const DWORD started = wait.Started(WaitCommEvent(m_port, wait.Events(), wait.Record()));
        Observe(wait, started, kCharacterWaitMs, true, m_seen.characterWait);
    }

    // About 100 ms of line time at the speed in effect, sampling the output
    // count while the write runs.
    void TryOutputCount() {
        const DWORD halfBits = HalfBitsPerCharacter(m_line);
        const DWORD baud = std::max<DWORD>(m_line.BaudRate, 1);
        OutputCount& seen = m_seen.output;
        seen.bytes = std::clamp<DWORD>(2 * baud / halfBits / 10, 16, 4096);
        const DWORD limit = seen.bytes * halfBits * 1000 / (2 * baud) + COverlappedCall::kLastChanceMs;
        COverlappedCall write(m_port, seen.bytes);

        const Stopwatch clock;
        const BOOL completed = WriteFile(m_port, write.Buffer().data(), seen.bytes, nullptr, write.Record());
        seen.startError = write.Started(completed);
        if (seen.startError != ERROR_SUCCESS) return;
        seen.completedAtOnce = completed != FALSE;
        for (bool ended = seen.completedAtOnce; !ended && clock.Milliseconds() < limit;) {
            COMSTAT status{};
            if (Status(status)) {
                seen.statusWorked = true;
                seen.mostQueued = std::max(seen.mostQueued, status.cbOutQue);
            }
            ended = write.EndsWithin(kStatusStepMs);
        }
        seen.milliseconds = clock.Milliseconds();
        seen.completed = write.EndsWithin(0);
        DWORD sent = 0;
        if (seen.completed) {
            write.Reap(&sent);
        } else {
            EndPending(write, false);
        }
    }

    void Restore(const DriverState& first) {
        DCB record = first.record;
        COMMTIMEOUTS timeouts = first.timeouts;
        BOOL restored = SetCommMask(m_port, first.mask);
        if (restored && first.timeoutsRead) restored = SetCommTimeouts(m_port, &timeouts);
        if (restored) restored = SetCommState(m_port, &record);
        m_seen.restored = Answer(restored);
    }

    HANDLE m_port;
    DCB m_line{};
    DriverObservations m_seen;
};

}  // namespace

DriverState ReadDriverState(const std::wstring& path) {
    DriverState state;
    const Stopwatch clock;
    const Win32::UniqueHandle port = OpenPort(path, state.openError);
    state.openMilliseconds = clock.Milliseconds();
    if (!port.IsValid()) return state;
    state.record.DCBlength = sizeof state.record;
    state.readRecord = Answer(GetCommState(port.Get(), &state.record));
    GetCommMask(port.Get(), &state.mask);
    state.timeoutsRead = GetCommTimeouts(port.Get(), &state.timeouts) != FALSE;
    return state;
}

DriverObservations ObserveDriver(const std::wstring& path, const DriverState& first) {
    const Stopwatch clock;
    DriverObservations unopened;
    Win32::UniqueHandle port = OpenPort(path, unopened.reopenError);
    while (!port.IsValid() && clock.Milliseconds() < kReopenMs) {
        Sleep(kReopenStepMs);
        port = OpenPort(path, unopened.reopenError);
    }
    if (!port.IsValid()) return unopened;
    return CDriverProbe(port.Get()).Run(first);
}

}  // namespace DevHost
