#include "PluginTrace.h"
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <iterator>
#include <utility>
#include "ConsoleOutput.h"
#include "IniSettings.h"
#include "win32/DevicePath.h"
#include "serial/LineErrors.h"
#include "win32/UniqueHandle.h"

namespace DevHost {
namespace {

// The section holds the writer's process id, then the text.
constexpr DWORD kBufferSize = 4096;
constexpr wchar_t kMark[] = L"DeviceCommon: ";
constexpr wchar_t kEnded[] = L": exchange ended: ";
constexpr wchar_t kDeviceGone[] = L"the device is gone";
// The plug-in writes its trace line before it reports the end; the reader's
// thread takes it a moment later.
constexpr DWORD kTraceWaitMs = 500;

CTraceReader* g_current = nullptr;

bool IsOpenFailure(const std::wstring& line) {
    return line.find(L" could not be opened") != std::wstring::npos ||
           line.find(L" cannot be opened") != std::wstring::npos;
}

// The number after "error " in a trace line, 0 when there is none.
DWORD TracedError(const std::wstring& traced) {
    const size_t at = traced.find(L"error ");
    return at == std::wstring::npos ? 0 : std::wcstoul(traced.c_str() + at + 6, nullptr, 10);
}

// Opens the port as the plug-in does, to hear from Windows why it fails.
std::wstring AskWindows(const std::wstring& portName) {
    Win32::UniqueHandle port(CreateFileW(DevicePathFor(portName.c_str()).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                         nullptr, OPEN_EXISTING, 0, nullptr));
    if (!port.IsValid()) return portName + L" could not be opened: " + WindowsMessage(GetLastError());
    DCB line{};
    line.DCBlength = sizeof line;
    if (!GetCommState(port.Get(), &line)) {
        return portName + L" is not a serial port: " + WindowsMessage(GetLastError());
    }
    return portName + L" could not be opened by the plug-in, though it opens now";
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

std::wstring CTraceReader::TakeEnd(DWORD waitMs, std::wstring& lineErrors) {
    std::unique_lock<std::mutex> hold(m_lock);
    m_arrived.wait_for(hold, std::chrono::milliseconds(waitMs), [this] { return !m_end.empty(); });
    lineErrors = std::exchange(m_endLineErrors, {});
    return std::exchange(m_end, {});
}

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
        const size_t totals = said.find(CLineErrors::kTotalsMark);
        if (totals != std::wstring::npos) m_lineErrors = said.substr(totals + std::size(CLineErrors::kTotalsMark) - 1);
        if (ended != std::wstring::npos) {
            m_end = said.substr(ended + std::size(kEnded) - 1);
            m_endLineErrors = std::exchange(m_lineErrors, {});
        }
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


std::wstring WindowsMessage(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = length > 0 && text ? std::wstring(text, length) : L"";
    if (text) LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' ')) {
        message.pop_back();
    }
    const std::wstring code = L"error " + std::to_wstring(error);
    return message.empty() ? code : message + L" (" + code + L")";
}

bool SaysDeviceGone(const std::wstring& traced) { return traced.rfind(kDeviceGone, 0) == 0; }

std::wstring ExplainEnd(const std::wstring& traced) {
    if (traced.empty()) return L"the plug-in's trace, which says why, could not be read";
    const DWORD error = TracedError(traced);
    if (SaysDeviceGone(traced) && error != 0) return traced + L": " + WindowsMessage(error);
    return traced;
}

// The plug-in gives every count, 0 too; a line in other words is shown as it
// came rather than misread.
std::wstring ExplainLineErrors(const std::wstring& traced, const std::wstring& lineSettings) {
    unsigned long overrun = 0, overflow = 0, framing = 0, parity = 0, breaks = 0;
    if (std::swscanf(traced.c_str(), L"overrun %lu, input overflow %lu, framing %lu, parity %lu, break %lu", &overrun,
                     &overflow, &framing, &parity, &breaks) != 5) {
        return L"The plug-in's trace says of line errors: " + traced;
    }
    std::wstring said;
    const auto add = [&said](unsigned long count, const std::wstring& kind, const std::wstring& meaning) {
        if (count > 0) said += (said.empty() ? L"" : L"; ") + kind + L" — " + meaning;
    };
    add(overrun, Counted(overrun, L"overrun"), L"the port could not keep up, bytes were lost");
    add(overflow, Counted(overflow, L"input overflow"), L"the driver's input queue was full, bytes were lost");
    std::wstring garbled = framing > 0 ? Counted(framing, L"framing error") : L"";
    if (parity > 0) garbled += (garbled.empty() ? L"" : L" and ") + Counted(parity, L"parity error");
    add(framing + parity, garbled,
        L"the instrument probably sends at another speed or framing than the settings (" + lineSettings + L")");
    add(breaks, Counted(breaks, L"break"), L"the line was held at space");
    return said.empty() ? said : L"Bytes were lost or garbled on the line: " + said;
}

std::wstring ExplainPortNotOpened(const std::wstring& portName, const std::wstring& tracedFailure) {
    const DWORD error = TracedError(tracedFailure);
    if (error != 0) return portName + L" could not be opened: " + WindowsMessage(error);
    return AskWindows(portName);
}


TracedEnding TracedEnd(const CommandLine& line) {
    CTraceReader* trace = CTraceReader::Current();
    TracedEnding ending;
    if (!trace) return ending;
    std::wstring lineErrors;
    ending.said = trace->TakeEnd(kTraceWaitMs, lineErrors);
    if (!lineErrors.empty()) {
        ending.lineErrors =
            ExplainLineErrors(lineErrors, FromUtf8(DescribeLineSettings(ReadStoredSettings(line.settingsPath))));
    }
    return ending;
}

std::wstring WhyPortNotOpened(const CommandLine& line) {
    CTraceReader* trace = CTraceReader::Current();
    return ExplainPortNotOpened(StoredPortName(line.settingsPath), trace ? trace->TakeOpenFailure(kTraceWaitMs) : L"");
}

}  // namespace DevHost
