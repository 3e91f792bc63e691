#pragma once
#include <windows.h>
#include <string>
#include "win32/UniqueHandle.h"

// The baseline: the loop every careful Win32 program writes, on the host's
// end of a pair, with the plug-in's time-outs and queue sizes. Each turn
// asks the driver what is queued; when nothing is, it waits up to 100 ms
// for a character, and a wait that has not ended stays pending into the
// next turn; otherwise it reads exactly what is queued.
class CBareLoop {
public:
    explicit CBareLoop(const std::wstring& port);
    ~CBareLoop();
    CBareLoop(const CBareLoop&) = delete;
    CBareLoop& operator=(const CBareLoop&) = delete;

    bool IsOpen() const { return m_port.IsValid(); }
    // One turn; the bytes it read into buffer (at most size).
    DWORD Turn(BYTE* buffer, DWORD size);
    // One overlapped write, waited for to its end.
    DWORD Write(const void* data, DWORD size);

private:
    Win32::CUniqueHandle m_port;
    Win32::CUniqueHandle m_waitEvent{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    Win32::CUniqueHandle m_ioEvent{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    OVERLAPPED m_wait{};
    DWORD m_events = 0;
    bool m_waiting = false;
};
