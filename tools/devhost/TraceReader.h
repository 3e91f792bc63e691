#pragma once
#include <windows.h>
#include <string>

namespace DevHost {

// Shows the plug-in's trace as it comes: reads what this process writes to
// the Windows debug output, through the buffer protocol that debuggers and
// DebugView use (the DBWIN_BUFFER section and its two events), on a thread
// of its own, and prints each line to stderr. Only one reader per session
// can own that buffer: while DebugView or a debugger runs, they get the
// lines instead.
class CTraceReader {
public:
    CTraceReader();
    // Prints what was written before it, then stops.
    ~CTraceReader();
    CTraceReader(const CTraceReader&) = delete;
    CTraceReader& operator=(const CTraceReader&) = delete;

    // Empty when reading; otherwise why not.
    const std::wstring& Problem() const { return m_problem; }

private:
    static DWORD WINAPI Run(void* reader);
    void ReadUntilStopped();

    HANDLE m_buffer = nullptr;
    const char* m_view = nullptr;
    HANDLE m_bufferReady = nullptr;
    HANDLE m_dataReady = nullptr;
    HANDLE m_stop = nullptr;
    HANDLE m_thread = nullptr;
    std::wstring m_problem;
};

}  // namespace DevHost
