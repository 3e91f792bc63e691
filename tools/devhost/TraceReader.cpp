#include "TraceReader.h"
#include <cstdio>
#include <cstring>
#include <iterator>
#include "ConsoleOutput.h"

namespace DevHost {
namespace {

// The section holds the writer's process id, then the text.
constexpr DWORD kBufferSize = 4096;
constexpr wchar_t kMark[] = L"DeviceCommon: ";
constexpr wchar_t kEnded[] = L": exchange ended: ";

CTraceReader* g_current = nullptr;

bool IsOpenFailure(const std::wstring& line) {
    return line.find(L" could not be opened") != std::wstring::npos ||
           line.find(L" cannot be opened") != std::wstring::npos;
}

}  // namespace

CTraceReader::CTraceReader(bool show) : m_show(show) {
    m_buffer = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kBufferSize, L"DBWIN_BUFFER");
    const bool taken = GetLastError() == ERROR_ALREADY_EXISTS;
    if (!m_buffer || taken) {
        m_problem = L"another program (a debugger or DebugView) is reading the debug output";
        return;
    }
    m_view = static_cast<const char*>(MapViewOfFile(m_buffer, FILE_MAP_READ, 0, 0, kBufferSize));
    m_bufferReady = CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_BUFFER_READY");
    m_dataReady = CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_DATA_READY");
    m_stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (m_view && m_bufferReady && m_dataReady && m_stop) m_thread = CreateThread(nullptr, 0, &Run, this, 0, nullptr);
    if (!m_thread) {
        m_problem = L"the debug output cannot be read";
        return;
    }
    g_current = this;
}

CTraceReader::~CTraceReader() {
    if (g_current == this) g_current = nullptr;
    if (m_thread) {
        SetEvent(m_stop);
        WaitForSingleObject(m_thread, INFINITE);
        CloseHandle(m_thread);
    }
    for (HANDLE handle : {m_stop, m_dataReady, m_bufferReady}) {
        if (handle) CloseHandle(handle);
    }
    if (m_view) UnmapViewOfFile(m_view);
    if (m_buffer) CloseHandle(m_buffer);
}

CTraceReader* CTraceReader::Current() { return g_current; }

void CTraceReader::ShowThrough(Show show) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_showThrough = std::move(show);
}

std::wstring CTraceReader::TakeEnd(DWORD waitMs) { return TakeWhenSet(m_end, waitMs); }

std::wstring CTraceReader::TakeOpenFailure(DWORD waitMs) { return TakeWhenSet(m_openFailure, waitMs); }

std::wstring CTraceReader::TakeWhenSet(std::wstring& slot, DWORD waitMs) {
    std::unique_lock<std::mutex> hold(m_lock);
    m_arrived.wait_for(hold, std::chrono::milliseconds(waitMs), [&slot] { return !slot.empty(); });
    std::wstring taken;
    taken.swap(slot);
    return taken;
}

DWORD WINAPI CTraceReader::Run(void* reader) {
    static_cast<CTraceReader*>(reader)->ReadUntilStopped();
    return 0;
}

// A writer waits for the buffer to be ready, fills it and signals the data;
// data waiting is taken before the stop, so no line written earlier is lost.
void CTraceReader::ReadUntilStopped() {
    const DWORD self = GetCurrentProcessId();
    const HANDLE events[] = {m_dataReady, m_stop};
    for (;;) {
        SetEvent(m_bufferReady);
        if (WaitForMultipleObjects(2, events, FALSE, INFINITE) != WAIT_OBJECT_0) return;
        DWORD writer = 0;
        std::memcpy(&writer, m_view, sizeof writer);
        if (writer != self) continue;
        const char* text = m_view + sizeof writer;
        const size_t length = strnlen(text, kBufferSize - sizeof writer);
        // The system hands the text over in the ANSI code page; the
        // plug-in's trace is plain ASCII.
        Take(std::wstring(text, text + length));
    }
}

void CTraceReader::Take(const std::wstring& text) {
    std::wstring line = text;
    while (!line.empty() && (line.back() == L'\n' || line.back() == L'\r')) line.pop_back();
    std::lock_guard<std::mutex> hold(m_lock);
    if (line.rfind(kMark, 0) == 0) {
        const std::wstring said = line.substr(std::size(kMark) - 1);
        const size_t ended = said.find(kEnded);
        if (ended != std::wstring::npos) m_end = said.substr(ended + std::size(kEnded) - 1);
        if (IsOpenFailure(said)) m_openFailure = said;
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
