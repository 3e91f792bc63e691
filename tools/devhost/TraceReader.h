#pragma once
#include <windows.h>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>
#include "win32/Event.h"
#include "win32/UniqueHandle.h"

namespace DevHost {

// Reads the plug-in's trace as it comes: what this process writes to the
// Windows debug output, through the buffer protocol that debuggers and
// DebugView use (the DBWIN_BUFFER section and its two events), on a thread
// of its own. Keeps the lines that say why an exchange ended or why a port
// did not open, so devhost can say so without --trace. Only one reader per
// session can own that buffer: while DebugView or a debugger runs, they get
// the lines instead.
class CTraceReader {
public:
    using Show = std::function<void(const std::wstring& line)>;

    // show: print each line on stderr as it comes (--trace).
    explicit CTraceReader(bool show);
    // Takes what was written before it, then stops.
    ~CTraceReader();
    CTraceReader(const CTraceReader&) = delete;
    CTraceReader& operator=(const CTraceReader&) = delete;

    // The reader of this process, or null when the trace cannot be read.
    static CTraceReader* Current();
    // Empty when reading; otherwise why not.
    const std::wstring& Problem() const { return m_problem; }
    // term draws the lines above its bottom line; an empty function gives
    // them back to stderr.
    void ShowThrough(Show show);

    // What followed "exchange ended: " for the latest end not taken yet,
    // waiting up to waitMs: the plug-in writes the line before it reports
    // the end, but it reaches this thread a moment later. lineErrors: the
    // totals said just before that end; empty when none came.
    std::wstring TakeEnd(DWORD waitMs, std::wstring& lineErrors);
    // The latest line on a port that could not be opened, waiting likewise.
    std::wstring TakeOpenFailure(DWORD waitMs);
    // The plug-in's lines since the last call, without their mark.
    std::vector<std::wstring> TakeLines();

private:
    struct UnmapView {
        void operator()(const char* view) const { UnmapViewOfFile(view); }
    };

    void ReadUntilStopped();
    void Take(std::wstring line);

    std::wstring m_problem;
    const bool m_show;
    Win32::CUniqueHandle m_buffer;
    std::unique_ptr<const char, UnmapView> m_view;
    Win32::CUniqueHandle m_bufferReady;
    Win32::CUniqueHandle m_dataReady;
    Win32::CEvent m_stop{Win32::CEvent::Reset::Manual};
    std::thread m_thread;

    std::mutex m_lock;
    std::condition_variable m_arrived;
    Show m_showThrough;
    std::wstring m_end;
    std::wstring m_lineErrors;     // of the exchange still running
    std::wstring m_endLineErrors;  // of the exchange that m_end ended
    std::wstring m_openFailure;
    std::deque<std::wstring> m_lines;
};

}  // namespace DevHost
