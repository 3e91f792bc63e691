#pragma once
#include <windows.h>
#include <cstdint>
#include "serial/OverlappedIo.h"
#include "serial/SerialApi.h"
#include "win32/UniqueHandle.h"

namespace Serial {

// One serial device opened for overlapped I/O, and the single owner of
// everything the driver writes into: the handle (closed through the seam),
// one operation per direction (listening wait, read, write) and the receive
// buffer. Closing or destroying it ends every operation first. Operated by
// one thread at a time. Every operation answers an IoResult: Completed when
// the driver took it, Failed with the Win32 error when it did not; whether
// a failure means the device has gone is the worker's port's to judge.
class CSerialPort {
public:
    static constexpr DWORD kReceiveBufferSize = 65536;
    static constexpr DWORD kWriteBufferSize = 65536;

    explicit CSerialPort(const SerialApi& api = SerialApi::System());
    ~CSerialPort();
    CSerialPort(const CSerialPort&) = delete;
    CSerialPort& operator=(const CSerialPort&) = delete;

    // Opens path as it is, once: an outgoing Bluetooth port connects to its
    // instrument inside the open, so a second open would connect again. The
    // device must answer a query of its line state, or it is not a serial
    // port (a file or a pipe would have the host's transfers written into
    // it) and is closed again. It is then given the line record it accepts
    // (see LineRecord::ForDriver). Failed when the device did not open or is
    // no serial port; Completed once open, with the driver's error when it
    // refused the record: the port then runs at the driver's own settings.
    IoResult Open(const wchar_t* path, const DCB& line);
    void Close();
    bool IsOpen() const { return m_open; }

    IoResult SetupQueues(DWORD inputSize, DWORD outputSize);
    IoResult SetTimeouts(const COMMTIMEOUTS& timeouts);
    // Waits up to the time for a received character: Completed when one (or
    // another event the driver reports) came, Pending when none did. The
    // port listens for characters from its first wait until it closes, and
    // a wait that outlasts the time stays pending into the next call: a
    // turn then costs the driver no mask changes and no new wait. A
    // completion the caller did not see (bytes it may have read already) is
    // reported at once. A signalled interrupt ends the call early, as
    // Pending; a failed wait, or a driver that refuses to listen for
    // characters, returns at once with its error.
    IoResult WaitForReceive(DWORD milliseconds, HANDLE interrupt = nullptr);
    // Ends a pending wait and puts the port's event mask back; the next wait
    // starts afresh. Some drivers watch the line for a pending wait (Wine's
    // polls it every millisecond), which a long write need not pay for.
    // Failed when the driver refused a mask change.
    IoResult EndListening();
    // The device's status and its error word (CE_ flags), which the call
    // also clears.
    IoResult ClearErrors(COMSTAT* status, DWORD* lineErrors);
    // A query of the driver's line state: every driver supports it, and it
    // fails once the device has gone.
    IoResult QueryLineState() const;

    // Reads up to count received bytes (at most the buffer) into the port's
    // buffer, which holds them until the next read (the result's data).
    // Ended before it returns; a read this had to cancel reports what it
    // moved, as completed.
    IoResult Read(DWORD count);

    // Where the next write's bytes go first (kWriteBufferSize of them). The
    // driver writes from the port's own copy, so the bytes may go (the host
    // may free its request) while the driver still holds the write.
    uint8_t* WriteBuffer() { return m_sending; }
    // Writes the first count bytes of WriteBuffer(); they stay untouched
    // until the write has ended: a start that did not report Pending, or
    // FinishWrite.
    IoResult StartWrite(DWORD count);
    // Signalled when the running write completes.
    HANDLE WriteEvent() const { return m_write.Event(); }
    IoResult FinishWrite() { return m_write.Finish(true); }
    // Some drivers ignore the cancel of a write the line holds: the cancel
    // returns at once, and the purge of the output ends such a write.
    void RequestWriteCancel() { m_write.RequestCancel(); }
    IoResult PurgeOutput();

private:
    HANDLE Handle() const { return m_handle.Get(); }

    const SerialApi& m_api;
    Win32::CUniqueHandle m_handle;
    bool m_open = false;
    COverlappedIo m_listen;
    COverlappedIo m_read;
    COverlappedIo m_write;
    // The event mask the port had before its first wait, put back on closing.
    DWORD m_maskBefore = 0;
    bool m_listening = false;
    uint8_t m_received[kReceiveBufferSize]{};
    uint8_t m_sending[kWriteBufferSize]{};
};

}  // namespace Serial
