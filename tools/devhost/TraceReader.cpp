#include "TraceReader.h"
#include <cstdio>
#include <cstring>
#include "ConsoleOutput.h"

namespace DevHost {
namespace {

// The section holds the writer's process id, then the text.
constexpr DWORD kBufferSize = 4096;

}  // namespace

CTraceReader::CTraceReader() {
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
    if (!m_thread) m_problem = L"the debug output cannot be read";
}

CTraceReader::~CTraceReader() {
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
        std::wstring line(text, text + length);
        if (line.empty() || line.back() != L'\n') line += L'\n';
        Print(stderr, line);
    }
}

}  // namespace DevHost
