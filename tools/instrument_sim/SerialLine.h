#pragma once
#include <windows.h>
#include <string>
#include "win32/UniqueHandle.h"

// A COM port opened for plain (not overlapped) I/O at 8N1 without flow
// control. Reads never wait: the instrument polls between its own sends.
class CSerialLine {
public:
    // Opens by name ("COM6"); false with the Win32 error in error otherwise.
    bool Open(const std::wstring& name, DWORD baud, DWORD& error);
    // The whole of text, or false.
    bool Write(const std::string& text);
    // Appends what has arrived so far, possibly nothing.
    bool ReadAvailable(std::string& into);
    // Returns once the driver has sent everything written, so that closing
    // the port right after loses nothing.
    bool Drain();

private:
    Win32::CUniqueHandle m_port;
};
