#include "TraceReader.h"
#include <cstring>
#include <iterator>
#include <utility>
#include "ConsoleOutput.h"
#include "plugin_api/SharedConstants.h"

namespace DevHost {
namespace {

// The section holds the writer's process id, then the text.
constexpr DWORD kBufferSize = 4096;
constexpr wchar_t kMark[] = L"DeviceCommon: ";
// doctor reads the lines of one short exchange; receive and term never
// take them, so only the latest are kept.
constexpr size_t kLinesKept = 64;

CTraceReader* g_current = nullptr;

std::wstring After(const std::wstring& line, const wchar_t* mark) {
    const size_t at = line.find(mark);
    return at == std::wstring::npos ? L"" : line.substr(at + std::wcslen(mark));
}

}  // namespace

CTraceReader::CTraceReader(bool show) : m_show(show) {
    HANDLE buffer = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kBufferSize, L"DBWIN_BUFFER");
    const bool taken = GetLastError() == ERROR_ALREADY_EXISTS;
    m_buffer.Reset(buffer);
    if (!m_buffer.IsValid() || taken) {
        m_problem = L"another program (a debugger or DebugView) is reading the debug output";
        return;
    }
    m_view.reset(static_cast<const char*>(MapViewOfFile(m_buffer.Get(), FILE_MAP_READ, 0, 0, kBufferSize)));
    m_bufferReady.Reset(CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_BUFFER_READY"));
    m_dataReady.Reset(CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_DATA_READY"));
    if (!m_view || !m_bufferReady.IsValid() || !m_dataReady.IsValid()) {
        m_problem = L"the debug output cannot be read";
        return;
    }
    m_thread = std::thread([this] { ReadUntilStopped(); });
    g_current = this;
}

CTraceReader::~CTraceReader() {
    if (g_current == this) g_current = nullptr;
    m_stop.Set();
    if (m_thread.joinable()) m_thread.join();
}

CTraceReader* CTraceReader::Current() { return g_current; }

void CTraceReader::ShowThrough(Show show) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_showThrough = std::move(show);
}

std::wstring CTraceReader::TakeEnd(DWORD waitMs, std::wstring& lineErrors) {
    std::unique_lock<std::mutex> hold(m_lock);
    m_arrived.wait_for(hold, std::chrono::milliseconds(waitMs), [this] { return !m_end.empty(); });
    lineErrors = std::exchange(m_endLineErrors, {});
    return std::exchange(m_end, {});
}

std::wstring CTraceReader::TakeOpenFailure(DWORD waitMs) {
    std::unique_lock<std::mutex> hold(m_lock);
    m_arrived.wait_for(hold, std::chrono::milliseconds(waitMs), [this] { return !m_openFailure.empty(); });
    return std::exchange(m_openFailure, {});
}

std::vector<std::wstring> CTraceReader::TakeLines() {
    std::lock_guard<std::mutex> hold(m_lock);
    std::vector<std::wstring> lines(m_lines.begin(), m_lines.end());
    m_lines.clear();
    return lines;
}

// A writer waits for the buffer to be ready, fills it and signals the data;
// data waiting is taken before the stop, so no line written earlier is lost.
void CTraceReader::ReadUntilStopped() {
    const DWORD self = GetCurrentProcessId();
    const HANDLE events[] = {m_dataReady.Get(), m_stop.Get()};
    for (;;) {
        SetEvent(m_bufferReady.Get());
        if (WaitForMultipleObjects(2, events, FALSE, INFINITE) != WAIT_OBJECT_0) return;
        DWORD writer = 0;
        std::memcpy(&writer, m_view.get(), sizeof writer);
        if (writer != self) continue;
        const char* text = m_view.get() + sizeof writer;
        // The system hands the text over in the ANSI code page; the
        // plug-in's trace is plain ASCII.
        Take(std::wstring(text, text + strnlen(text, kBufferSize - sizeof writer)));
    }
}

void CTraceReader::Take(std::wstring line) {
    while (!line.empty() && (line.back() == L'\n' || line.back() == L'\r')) line.pop_back();
    std::lock_guard<std::mutex> hold(m_lock);
    if (line.rfind(kMark, 0) == 0) {
        const std::wstring said = line.substr(std::size(kMark) - 1);
        const std::wstring totals = After(said, Shared::kLineErrorTotals);
        if (!totals.empty()) m_lineErrors = totals;
        const std::wstring ended = After(said, (std::wstring(L": ") + Shared::kExchangeEnded).c_str());
        if (!ended.empty()) {
            m_end = ended;
            m_endLineErrors = std::exchange(m_lineErrors, {});
        }
        if (said.find(L" could not be opened") != std::wstring::npos) m_openFailure = said;
        m_lines.push_back(said);
        if (m_lines.size() > kLinesKept) m_lines.pop_front();
        m_arrived.notify_all();
    }
    // Under the lock, so that no line reaches a display that was withdrawn.
    if (!m_show) return;
    if (m_showThrough) {
        m_showThrough(line);
    } else {
        Print(stderr, line + L"\n");
    }
}

}  // namespace DevHost
