#include "TraceReader.h"
#include <algorithm>
#include <cstring>
#include <utility>
#include "ConsoleOutput.h"

namespace DevHost {
namespace {

// The section holds the writer's process id, then the text.
constexpr DWORD kBufferSize = 4096;
constexpr wchar_t kMark[] = L"DeviceCommon: ";
// Between two takes come the lines of one exchange, a long one saying line
// errors once a second; its end and the totals before it are the latest.
constexpr size_t kLinesKept = 64;

}  // namespace

CTraceReader::CTraceReader(bool show) : m_show(show) {
    HANDLE buffer = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kBufferSize, L"DBWIN_BUFFER");
    const bool taken = GetLastError() == ERROR_ALREADY_EXISTS;
    m_buffer.Reset(buffer);
    if (!m_buffer.IsValid() || taken) {
        if (show) Complain(L"no trace: another program (a debugger or DebugView) is reading the debug output");
        return;
    }
    m_view.reset(static_cast<const char*>(MapViewOfFile(m_buffer.Get(), FILE_MAP_READ, 0, 0, kBufferSize)));
    m_bufferReady.Reset(CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_BUFFER_READY"));
    m_dataReady.Reset(CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_DATA_READY"));
    if (!m_view || !m_bufferReady.IsValid() || !m_dataReady.IsValid()) {
        if (show) Complain(L"no trace: the debug output cannot be read");
        return;
    }
    m_thread = std::thread([this] { ReadUntilStopped(); });
    s_current = this;
}

CTraceReader::~CTraceReader() {
    if (s_current == this) s_current = nullptr;
    m_stop.Set();
    if (m_thread.joinable()) m_thread.join();
}

void CTraceReader::ShowThrough(Show show) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_showThrough = std::move(show);
}

std::vector<std::wstring> CTraceReader::TakeLines(const std::wstring& awaited, DWORD waitMilliseconds) {
    std::unique_lock<std::mutex> hold(m_lock);
    m_arrived.wait_for(hold, std::chrono::milliseconds(waitMilliseconds), [&] {
        return std::any_of(m_lines.begin(), m_lines.end(),
                           [&](const std::wstring& line) { return line.find(awaited) != std::wstring::npos; });
    });
    return std::exchange(m_lines, {});
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
        // The system hands the text over in the ANSI code page; the plug-in's trace is plain ASCII.
        std::wstring line(text, text + strnlen(text, kBufferSize - sizeof writer));
        while (!line.empty() && (line.back() == L'\n' || line.back() == L'\r')) line.pop_back();
        std::lock_guard<std::mutex> hold(m_lock);
        if (line.rfind(kMark, 0) == 0) {
            m_lines.push_back(line.substr(std::size(kMark) - 1));
            if (m_lines.size() > kLinesKept) m_lines.erase(m_lines.begin());
            m_arrived.notify_all();
        }
        // Under the lock, so that no line reaches a display that was withdrawn.
        if (!m_show) continue;
        if (m_showThrough) m_showThrough(line);
        else Print(stderr, line + L"\n");
    }
}

}  // namespace DevHost
