#pragma once
#include <windows.h>
#include <atomic>
#include "../win32/ManualResetEvent.h"
#include "SerialApi.h"

// How an overlapped read or write began. A pending one must be finished
// (GetIoResult with wait, or CancelPending) before its record or buffer goes.
enum class IoStart { Completed, Pending, Failed };

// One serial device opened for overlapped I/O, with the event on which it
// waits for received characters. Operated by one thread at a time; only
// IsOpen is read from other threads.
class CSerialPort {
public:
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
    bool IsOpen() const { return m_port.load() != INVALID_HANDLE_VALUE; }

    bool SetupQueues(DWORD inputSize, DWORD outputSize);
    bool SetTimeouts(const COMMTIMEOUTS& timeouts);
    // True when a character arrived within the time. No wait it starts is
    // left running: the event mask is restored and the wait finished. A set
    // wake event ends the wait early, as no arrival.
    bool WaitForReceive(DWORD milliseconds, HANDLE wake = nullptr);
    // Received bytes not yet read; also clears the device's error state.
    DWORD BytesWaiting();
    // Written bytes the device has not sent yet; also clears its error state.
    DWORD BytesUnsent();
    // False when the device no longer answers (unplugged, its driver gone).
    bool ClearErrors(COMSTAT* status);

    IoStart Read(void* buffer, DWORD count, OVERLAPPED* record, DWORD* bytes);
    IoStart Write(const void* buffer, DWORD count, OVERLAPPED* record, DWORD* bytes);
    bool GetIoResult(OVERLAPPED* record, DWORD* bytes, bool wait);
    // Cancels a pending read or write of this thread and waits for its end;
    // returns the bytes it transferred before it ended.
    DWORD CancelPending(OVERLAPPED* record);

private:
    static IoStart StartOf(BOOL result);

    const SerialApi& m_api;
    std::atomic<HANDLE> m_port{INVALID_HANDLE_VALUE};
    Win32::ManualResetEvent m_waitEvent;
};
