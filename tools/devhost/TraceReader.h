#pragma once
#include <windows.h>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>
#include "win32/Event.h"
#include "win32/UniqueHandle.h"

namespace DevHost {

// Reads what this process writes to the debug output as debuggers and DebugView do (the
// DBWIN_BUFFER section and its two events), so devhost can say why an exchange ended without
// --trace. Only one reader per session owns that buffer: while DebugView or a debugger runs, they get the lines.
class CTraceReader {
public:
    using Show = std::function<void(const std::wstring& line)>;

    // show: print each line on stderr as it comes, or why the trace cannot be read (--trace).
    explicit CTraceReader(bool show);
    // Takes what was written before it, then stops.
    ~CTraceReader();

    // The reader of this process, or null when the trace cannot be read.
    static CTraceReader* Current() { return s_current; }
    // term draws the lines above its bottom line; an empty function gives them back to stderr.
    void ShowThrough(Show show);

    // The plug-in's lines since the last take, without their mark, once one holds awaited or waitMilliseconds
    // have passed: the plug-in writes a line before it reports the event, but it arrives a moment later.
    std::vector<std::wstring> TakeLines(const std::wstring& awaited = L"", DWORD waitMilliseconds = 0);

private:
    void ReadUntilStopped();

    static inline CTraceReader* s_current = nullptr;
    const bool m_show;
    Win32::CUniqueHandle m_buffer;
    std::unique_ptr<const char, BOOL(WINAPI*)(LPCVOID)> m_view{nullptr, &UnmapViewOfFile};
    Win32::CUniqueHandle m_bufferReady;
    Win32::CUniqueHandle m_dataReady;
    Win32::CEvent m_stop{Win32::CEvent::Reset::Manual};
    std::thread m_thread;

    std::mutex m_lock;
    std::condition_variable m_arrived;
    Show m_showThrough;
    std::vector<std::wstring> m_lines;
};

}  // namespace DevHost
