#pragma once
#include <windows.h>
#include <string>

namespace DevHost {

// How the driver answered one call: error is ERROR_SUCCESS when it took it.
struct CallAnswer {
    bool asked = false;
    DWORD error = ERROR_SUCCESS;
    bool Taken() const { return asked && error == ERROR_SUCCESS; }
};

// How a call that stayed pending on a quiet line was ended.
struct Ending {
    bool byCancel = false;     // CancelIoEx ended it within kCancelGraceMs
    bool byEmptyMask = false;  // a wait that the cancel left running ended by SetCommMask(0)
    bool ended = false;        // false: still running a second later
    DWORD milliseconds = 0;    // from the call that ended it (the cancel when none did)
    DWORD error = ERROR_SUCCESS;
};

// A character wait or a read made on a quiet line.
struct QuietCall {
    DWORD startError = ERROR_SUCCESS;  // refused at its start
    bool completed = false;            // ended by itself within the observed time
    DWORD milliseconds = 0;            // when it completed
    DWORD result = 0;                  // the events of a wait, the bytes of a read
    DWORD error = ERROR_SUCCESS;       // the error it completed with
    Ending ending;                     // when it had to be ended
    bool queueKnown = false;           // cbInQue afterwards, when the status call works
    DWORD queued = 0;
};

// A short write at the port's speed, watched through cbOutQue.
struct OutputCount {
    DWORD bytes = 0;
    DWORD startError = ERROR_SUCCESS;
    bool completedAtOnce = false;
    bool completed = false;  // by itself, within its line time plus a second
    DWORD milliseconds = 0;  // how long it ran
    bool statusWorked = false;
    DWORD mostQueued = 0;  // the largest cbOutQue seen while it ran
};

// The driver as doctor first finds it: how the open went, and the record,
// mask and time-outs that are put back at the end.
struct DriverState {
    DWORD openError = ERROR_SUCCESS;
    DWORD openMilliseconds = 0;
    CallAnswer readRecord;  // GetCommState
    DCB record{};
    DWORD mask = 0;
    bool timeoutsRead = false;
    COMMTIMEOUTS timeouts{};
    bool Usable() const { return openError == ERROR_SUCCESS && readRecord.Taken(); }
};

// Opens the device at path as the plug-in does, reads and closes.
DriverState ReadDriverState(const std::wstring& path);

// What doctor's own calls found, made after the plug-in's exchange, so at
// the line settings the plug-in left.
struct DriverObservations {
    DWORD reopenError = ERROR_SUCCESS;  // the port did not open again after the exchange
    CallAnswer ownRecord;               // SetCommState of the record just read
    CallAnswer equalCharacters;         // XON/XOFF on, XonChar == XoffChar == NUL
    CallAnswer readTimeouts;            // time-outs that return at once with what is queued
    CallAnswer status;                  // ClearCommError
    DWORD lineErrors = 0;               // every flag its error word reported while doctor ran
    OutputCount output;
    QuietCall characterWait;
    QuietCall emptyRead;
    CallAnswer restored;  // the state first found put back
};

constexpr DWORD kCharacterWaitMs = 300;
constexpr DWORD kCancelGraceMs = 100;

// Makes the plug-in's calls on the port without an instrument, then puts
// back what was first found. Writes about 100 ms of NUL bytes to the line.
DriverObservations ObserveDriver(const std::wstring& path, const DriverState& first);

}  // namespace DevHost
