#pragma once
#include <windows.h>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include "CommandLine.h"

namespace DevHost {

// Reads the plug-in's trace as it comes: what this process writes to the
// Windows debug output, through the buffer protocol that debuggers and
// DebugView use (the DBWIN_BUFFER section and its two events), on a thread
// of its own. Keeps the lines that say why an exchange ended or why a port
// did not open, so devhost can say so without --trace, and shows every line
// when asked to. Only one reader per session can own that buffer: while
// DebugView or a debugger runs, they get the lines instead.
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
    // Shown lines go to show instead of stderr (term draws them above its
    // bottom line); an empty function restores stderr.
    void ShowThrough(Show show);

    // What the trace said after "exchange ended: " for the latest end not
    // taken yet, waiting up to waitMs for the line; empty when none came.
    // The plug-in writes the line before it reports the end, but the line
    // reaches this reader through its thread a moment later.
    std::wstring TakeEnd(DWORD waitMs);
    // The latest line on a port that could not be opened, without the
    // "DeviceCommon: " mark, waiting likewise.
    std::wstring TakeOpenFailure(DWORD waitMs);

private:
    static DWORD WINAPI Run(void* reader);
    void ReadUntilStopped();
    void Take(const std::wstring& text);
    std::wstring TakeWhenSet(std::wstring& slot, DWORD waitMs);

    HANDLE m_buffer = nullptr;
    const char* m_view = nullptr;
    HANDLE m_bufferReady = nullptr;
    HANDLE m_dataReady = nullptr;
    HANDLE m_stop = nullptr;
    HANDLE m_thread = nullptr;
    std::wstring m_problem;
    const bool m_show;

    std::mutex m_lock;
    std::condition_variable m_arrived;
    Show m_showThrough;
    std::wstring m_end;
    std::wstring m_openFailure;
};

// Windows' own text for an error code, "error 2" when it has none.
std::wstring WindowsMessage(DWORD error);

// Why an exchange ended, in the user's words, from what the plug-in's trace
// said after "exchange ended: " (empty when the trace said nothing).
std::wstring ExplainEnd(const std::wstring& traced);
// Whether the trace said the device went away during the exchange.
bool SaysDeviceGone(const std::wstring& traced);

// Why the port named in the settings did not open, naming it and what
// Windows said. The plug-in's trace gives its error where it has one;
// otherwise devhost opens the port itself to ask Windows.
std::wstring ExplainPortNotOpened(const std::wstring& portName, const std::wstring& tracedFailure);

// For CExchangeSink: what the plug-in's trace said of the exchange's end.
std::wstring TracedEnd();
// Why the port did not open: its name and what Windows said.
std::wstring WhyPortNotOpened(const CommandLine& line);

}  // namespace DevHost
