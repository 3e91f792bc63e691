#pragma once
#include <windows.h>
#include <cstdint>
#include "plugin_api/HostInterfaces.h"
#include "serial/WorkerPort.h"

namespace Serial {

namespace Transmit {

constexpr DWORD kChunkSize = CSerialPort::kWriteBufferSize;
constexpr DWORD kWaitStepMilliseconds = 500;
// Steps in a row in which the output queue did not go down: the line is
// held, not slow (3 s of 500 ms steps).
constexpr int kStepsWithoutProgress = 6;
// Below the slowest speed a line is set to, a record's speed is not a speed.
constexpr DWORD kSlowestBaud = 110;
// A request that takes the line longer than a listening turn gets the line
// to itself: the listening wait is ended first.
constexpr ULONGLONG kLongWriteMilliseconds = 100;
// A write the driver has not ended this long after its cancel is purged;
// one that outlives the purge this long is waited for, with a trace line.
constexpr DWORD kCancelMilliseconds = 100;
constexpr DWORD kPurgeMilliseconds = 1000;

// The time the line needs to carry count bytes at the record's speed and
// character size.
ULONGLONG LineMilliseconds(DWORD count, const DCB& line);

}  // namespace Transmit

// Sends the queued requests on the worker's thread, between listening
// turns: each request chunk by chunk, every chunk's bytes reported as they
// went out, then the request handed back.
class CTransmitter {
public:
    // line is the record the port was opened with: its speed tells a slow
    // line from a held one where the driver does not count a pending write.
    CTransmitter(CWorkerPort& port, CExchangeShared& shared, const DCB& line,
                 DWORD waitStepMilliseconds = Transmit::kWaitStepMilliseconds);
    CTransmitter(const CTransmitter&) = delete;
    CTransmitter& operator=(const CTransmitter&) = delete;

    // Sends every queued request in order, also those queued meanwhile.
    // Requests met once the stop flag is set, or with no sink to report to,
    // stay queued.
    void DrainQueue();
    // Sends one request taken from the queue and hands it back with
    // OnRequestDone, however far it got.
    void TransmitRequest(ITransferRequest* request);

private:
    // What the host's request holds, read through the gate.
    struct Contents {
        int32_t kind;
        const uint8_t* data;
        int32_t size;
    };
    bool Read(ITransferRequest* request, Contents* contents);
    void Send(ITransferRequest* request, const Contents& contents);
    // Writes the first size bytes of the port's write buffer: Completed
    // while the request may go on after the bytes it moved.
    IoResult WriteChunk(DWORD size);
    // True when the write completed; false when the line held it, the
    // device went or the stop came first.
    bool WaitForWrite(DWORD size, DWORD unsentAtStart);
    // The output queue's count (0 from a driver with no status call);
    // false when the device has gone.
    bool Unsent(DWORD* bytes);
    // Judges a failed write; the trace says what was not sent.
    void Failed(const IoResult& write, DWORD size);

    CWorkerPort& m_port;
    CExchangeShared& m_shared;
    const DCB m_line;
    const DWORD m_waitStep;
};

}  // namespace Serial
