#pragma once
#include <windows.h>
#include <atomic>
#include <cstdint>
#include "serial/OverlappedIo.h"
#include "serial/SerialApi.h"

// One serial device opened for overlapped I/O, and the single owner of
// everything the driver writes into: the handle (closed through the seam),
// one operation per direction (listening wait, read, write) and the receive
// buffer. Closing or destroying it ends every operation first. Operated by
// one thread at a time; only IsOpen is read from other threads.
class CSerialPort {
public:
    static constexpr DWORD kReceiveBufferSize = 65536;

    explicit CSerialPort(const SerialApi& api = SerialApi::System());
    virtual ~CSerialPort();
    CSerialPort(const CSerialPort&) = delete;
    CSerialPort& operator=(const CSerialPort&) = delete;

    // Kept for the table's shape; nothing in the module calls it.
    virtual void FreeOverlapped(DWORD, DWORD, OVERLAPPED* record);

    // A plain open and close, to learn whether the device can be opened and
    // is a serial port: a name that opens a file or a pipe would otherwise
    // have the host's transfers written into it.
    bool Probe(const wchar_t* path) const;
    // Opens path as it is; true when the line record was accepted. A port
    // whose device opened stays open even when the record is refused.
    bool Open(const wchar_t* path, const DCB* line);
    void Close();
    bool IsOpen() const { return m_handle.load() != INVALID_HANDLE_VALUE; }

    bool SetupQueues(DWORD inputSize, DWORD outputSize);
    bool SetTimeouts(const COMMTIMEOUTS& timeouts);
    // True when a character arrived within the time. A signalled interrupt
    // ends the wait early, as no arrival. The event mask is restored and
    // the wait ended before this returns.
    bool WaitForReceive(DWORD milliseconds, HANDLE interrupt = nullptr);
    // Received bytes not yet read; also clears the device's error state.
    DWORD BytesWaiting();
    // Written bytes the device has not sent yet; also clears its error state.
    DWORD BytesUnsent();
    // False when the device no longer answers (unplugged, its driver gone).
    bool ClearErrors(COMSTAT* status);

    // Reads up to count received bytes (at most the buffer) into Received(),
    // which holds them until the next read. Ended before it returns.
    IoResult Read(DWORD count);
    const uint8_t* Received() const { return m_received; }

    // data must stay valid until the write has ended: a start that did not
    // report Pending, or FinishWrite with wait, or CancelWrite.
    IoResult StartWrite(const void* data, DWORD count);
    // Signalled when the running write completes.
    HANDLE WriteEvent() const { return m_write.Event(); }
    IoResult FinishWrite(bool wait) { return m_write.Finish(wait); }
    IoResult CancelWrite() { return m_write.Cancel(); }

private:
    const SerialApi& m_api;
    std::atomic<HANDLE> m_handle{INVALID_HANDLE_VALUE};
    COverlappedIo m_listen;
    COverlappedIo m_read;
    COverlappedIo m_write;
    uint8_t m_received[kReceiveBufferSize];
};
