#pragma once
#include <windows.h>
#include <cstdint>
#include "plugin_api/HostInterfaces.h"
#include "serial/WorkerPort.h"

namespace Serial {

namespace Transmit {

constexpr DWORD kChunkSize = CSerialPort::kWriteBufferSize;
// A request that takes the line longer than a listening turn gets the line
// to itself: the listening wait is ended first.
constexpr ULONGLONG kLongWriteMilliseconds = 100;

}  // namespace Transmit

// Sends the queued requests on the worker's thread, between listening
// turns: each request chunk by chunk, every chunk's bytes reported as they
// went out, then the request handed back.
class CTransmitter {
public:
    CTransmitter(CWorkerPort& port, CExchangeShared& shared) : m_port(port), m_shared(shared) {}
    CTransmitter(const CTransmitter&) = delete;
    CTransmitter& operator=(const CTransmitter&) = delete;

    // Sends every queued request in order, also those queued meanwhile, and
    // hands each back with OnRequestDone, however far it got. Requests met
    // once the stop flag is set, or with no sink to report to, stay queued.
    void DrainQueue();

private:
    // What the host's request holds, read through the gate.
    struct Contents {
        int32_t kind;
        const uint8_t* data;
        int32_t size;
    };
    bool Read(ITransferRequest* request, Contents* contents);
    void Send(ITransferRequest* request, const Contents& contents);
    void HandBack(ITransferRequest* request);

    CWorkerPort& m_port;
    CExchangeShared& m_shared;
};

}  // namespace Serial
