#pragma once
#include <windows.h>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include "CommandLine.h"

namespace DevHost {

// What devhost tells of an exchange's end from the plug-in's trace.
struct TracedEnding {
    std::wstring said;        // after "exchange ended: "; empty when nothing came
    std::wstring lineErrors;  // explained; empty when there were none
};

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
    // reaches this reader through its thread a moment later. lineErrors:
    // the totals said just before that end, after CLineErrors::kTotalsMark;
    // empty when there were none.
    std::wstring TakeEnd(DWORD waitMs, std::wstring& lineErrors);
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
    std::wstring m_lineErrors;     // of the exchange still running
    std::wstring m_endLineErrors;  // of the exchange that m_end ended
    std::wstring m_openFailure;
};

// Windows' own text for an error code, "error 2" when it has none.
std::wstring WindowsMessage(DWORD error);

// Why an exchange ended, in the user's words, from what the plug-in's trace
// said after "exchange ended: " (empty when the trace said nothing).
std::wstring ExplainEnd(const std::wstring& traced);
// Whether the trace said the device went away during the exchange.
bool SaysDeviceGone(const std::wstring& traced);
// What the trace said of the line errors of an exchange ("overrun 1, input
// overflow 0, framing 3, parity 0, break 0"), in the user's words, with the
// speed and framing of the settings ("38400 baud 8N1") that a framing or
// parity error calls into question.
std::wstring ExplainLineErrors(const std::wstring& traced, const std::wstring& lineSettings);

// Why the port named in the settings did not open, naming it and what
// Windows said. The plug-in's trace gives its error where it has one;
// otherwise devhost opens the port itself to ask Windows.
std::wstring ExplainPortNotOpened(const std::wstring& portName, const std::wstring& tracedFailure);

// For CExchangeSink: what the plug-in's trace said of the exchange's end,
// and its line errors explained against the stored settings.
TracedEnding TracedEnd(const CommandLine& line);
// Why the port did not open: its name and what Windows said.
std::wstring WhyPortNotOpened(const CommandLine& line);

}  // namespace DevHost
