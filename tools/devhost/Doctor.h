#pragma once
#include <windows.h>
#include <string>
#include "PortDevice.h"

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

// Everything observed of one port's driver without an instrument.
struct DriverObservations {
    DWORD openError = ERROR_SUCCESS;
    DWORD openMilliseconds = 0;
    CallAnswer readRecord;       // GetCommState
    CallAnswer ownRecord;        // SetCommState of the record just read
    CallAnswer equalCharacters;  // XON/XOFF on, XonChar == XoffChar == NUL
    CallAnswer userRecord;       // the plug-in's record for the stored settings
    CallAnswer queues;           // SetupComm
    CallAnswer timeouts;         // SetCommTimeouts with the exchange's time-outs
    CallAnswer status;           // ClearCommError
    DWORD lineErrors = 0;        // every flag its error word reported while doctor ran
    OutputCount output;
    QuietCall characterWait;
    QuietCall emptyRead;
    CallAnswer restored;  // the driver's record, mask and time-outs put back
};

constexpr DWORD kCharacterWaitMs = 300;
constexpr DWORD kCancelGraceMs = 100;

// Opens the device at path as the plug-in does and makes the plug-in's
// calls on it, leaving the driver's line record, event mask and time-outs
// as they were. stored is the line record of the stored settings as the
// plug-in builds it. Writes about 100 ms of NUL bytes to the line. Nothing
// more is observed once the open or GetCommState fails.
DriverObservations ObserveDriver(const std::wstring& path, const DCB& stored);

// doctor's report of what a driver did, as plain text: per behaviour a line
// of what was seen, errors by name, and one of what the plug-in does about it.
struct DoctorReport {
    std::wstring text;
    bool portUsable = false;  // false when the port cannot serve an exchange at all
};

DoctorReport WriteDoctorReport(const PortDevice& device, const DriverObservations& seen);

}  // namespace DevHost
