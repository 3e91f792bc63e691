#include "TraceReader.h"
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <iterator>
#include <utility>
#include "ConsoleOutput.h"
#include "PortDevice.h"
#include "plugin_api/SharedConstants.h"
#include "win32/DevicePath.h"

namespace DevHost {
namespace {

// The section holds the writer's process id, then the text.
constexpr DWORD kBufferSize = 4096;
constexpr wchar_t kMark[] = L"DeviceCommon: ";
// Between two takes come the lines of one exchange, a long one saying line
// errors once a second; its end and the totals before it are the latest.
constexpr size_t kLinesKept = 64;
constexpr DWORD kTraceWaitMs = 500;

std::vector<std::wstring> TakeTraced(const std::wstring& awaited) {
    CTraceReader* trace = CTraceReader::Current();
    return trace ? trace->TakeLines(awaited, kTraceWaitMs) : std::vector<std::wstring>{};
}

// 0 when the line names no error.
DWORD TracedError(const std::wstring& line) { return std::wcstoul(TextAfter(line, L"error ").c_str(), nullptr, 10); }

// Windows' own text for an error code, "error 2" when it has none.
std::wstring WindowsMessage(DWORD error) {
    wchar_t text[512] = L"";
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text, 512, nullptr);
    std::wstring message = text;
    message.erase(message.find_last_not_of(L"\r\n ") + 1);
    const std::wstring code = L"error " + std::to_wstring(error);
    return message.empty() ? code : message + L" (" + code + L")";
}

}  // namespace

std::wstring TextAfter(const std::wstring& said, const std::wstring& words) {
    const size_t at = said.find(words);
    return at == std::wstring::npos ? L"" : said.substr(at + words.size());
}

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

std::vector<std::wstring> CTraceReader::TakeLines(const std::wstring& awaited, DWORD waitMs) {
    std::unique_lock<std::mutex> hold(m_lock);
    m_arrived.wait_for(hold, std::chrono::milliseconds(waitMs), [&] {
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

bool SaysDeviceGone(const std::wstring& traced) { return traced.rfind(Shared::kEndDeviceGone, 0) == 0; }

std::wstring ExplainEnd(const std::wstring& traced) {
    if (traced.empty()) return L"the plug-in's trace, which says why, could not be read";
    const DWORD error = TracedError(traced);
    return SaysDeviceGone(traced) && error != 0 ? traced + L": " + WindowsMessage(error) : traced;
}

// The plug-in gives every count, 0 too; a line in other words is shown as it came, not misread.
bool ReadLineErrorTotals(const std::wstring& traced, LineErrorTotals& totals) {
    LineErrorTotals read;
    if (std::swscanf(traced.c_str(), L"overrun %lu, input overflow %lu, framing %lu, parity %lu, break %lu",
                     &read.overrun, &read.inputOverflow, &read.framing, &read.parity, &read.breaks) != 5) {
        return false;
    }
    totals = read;
    return true;
}

std::wstring ExplainLineErrors(const std::wstring& traced, const std::wstring& lineSettings) {
    LineErrorTotals totals;
    if (!ReadLineErrorTotals(traced, totals)) return L"The plug-in's trace says of line errors: " + traced;
    const auto [overrun, overflow, framing, parity, breaks] = totals;
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

TracedEnding TracedEnd(const StoredSettings& stored) {
    const std::wstring endMark = std::wstring(L": ") + Shared::kExchangeEnded;
    TracedEnding ending;
    std::wstring totals;
    for (const std::wstring& said : TakeTraced(endMark)) {
        if (const std::wstring counts = TextAfter(said, Shared::kLineErrorTotals); !counts.empty()) totals = counts;
        if (const std::wstring end = TextAfter(said, endMark); !end.empty()) ending = {end, std::exchange(totals, {}), {}};
    }
    if (!ending.lineErrors.empty()) {
        ReadLineErrorTotals(ending.lineErrors, ending.totals);
        ending.lineErrors = ExplainLineErrors(ending.lineErrors, DescribeLine(stored));
    }
    return ending;
}

std::wstring WhyPortNotOpened(const StoredSettings& stored) {
    const std::wstring& portName = stored.port;
    const wchar_t* failed = L" could not be opened";
    DWORD error = ERROR_SUCCESS;
    for (const std::wstring& said : TakeTraced(failed)) {
        if (said.find(failed) != std::wstring::npos) error = TracedError(said);
    }
    // Where the trace tells nothing, devhost opens the port itself.
    Win32::CUniqueHandle port;
    DCB record;
    if (error == ERROR_SUCCESS) error = OpenSerialPort(Win32::DevicePathFor(portName.c_str()).c_str(), port, record);
    if (error == ERROR_SUCCESS) return portName + L" could not be opened by the plug-in, though it opens now";
    return portName + (port.IsValid() ? L" is not a serial port" : failed) + L": " + WindowsMessage(error);
}

}  // namespace DevHost
