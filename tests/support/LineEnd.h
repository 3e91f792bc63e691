#pragma once
#include <windows.h>
#include <cstddef>
#include <string>
#include "win32/Event.h"
#include "win32/UniqueHandle.h"

// One end of a null-modem pair that a test or the bench plays the far side
// on, opened for overlapped I/O so that it reads and writes at once, as the
// far end of a full-duplex line does.
class CLineEnd {
public:
    // Opened at the line and time-outs given, with its queues emptied;
    // closed (IsOpen false) when the port cannot be opened.
    CLineEnd(const std::wstring& port, const DCB& line, const COMMTIMEOUTS& timeouts, DWORD queueSize = 0);
    CLineEnd(const CLineEnd&) = delete;
    CLineEnd& operator=(const CLineEnd&) = delete;

    bool IsOpen() const { return m_port.IsValid(); }
    void SetTimeouts(const COMMTIMEOUTS& timeouts);
    // Drops what is queued both ways.
    void Purge();

    // One transfer, waited for until it completes, the time passes or
    // Interrupt is called, and cancelled then; returns the bytes it moved.
    DWORD Transfer(bool write, void* buffer, DWORD size, DWORD milliseconds);
    // Writes all of it; false when the line took nothing for 5 s.
    bool Send(const void* data, size_t size);
    // Ends the running transfer and makes every later one return at once,
    // so a thread of the owner's can be joined whatever the line does.
    void Interrupt() { m_interrupt.Set(); }

private:
    Win32::CUniqueHandle m_port;
    Win32::CEvent m_interrupt{Win32::CEvent::Reset::Manual};
};

// Drops what earlier runs left at the end a plug-in opens: bytes still in
// the cable's buffers keep arriving for a while.
void DrainPort(const std::wstring& port);
