#include "TraceExplained.h"
#include <cstdio>
#include <cwchar>
#include "ConsoleOutput.h"
#include "PortDevice.h"
#include "SettingsFile.h"
#include "TraceReader.h"
#include "plugin_api/SharedConstants.h"
#include "win32/UniqueHandle.h"

namespace DevHost {
namespace {

constexpr DWORD kTraceWaitMs = 500;

// The number after "error " in a trace line, 0 when there is none.
DWORD TracedError(const std::wstring& traced) {
    const size_t at = traced.find(L"error ");
    return at == std::wstring::npos ? 0 : std::wcstoul(traced.c_str() + at + 6, nullptr, 10);
}

// Windows' own text for an error code, "error 2" when it has none.
std::wstring WindowsMessage(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = length > 0 && text ? std::wstring(text, length) : L"";
    if (text) LocalFree(text);
    message.erase(message.find_last_not_of(L"\r\n ") + 1);
    const std::wstring code = L"error " + std::to_wstring(error);
    return message.empty() ? code : message + L" (" + code + L")";
}

}  // namespace

bool SaysDeviceGone(const std::wstring& traced) { return traced.rfind(Shared::kEndDeviceGone, 0) == 0; }

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

TracedEnding TracedEnd(const CommandLine& line) {
    CTraceReader* trace = CTraceReader::Current();
    TracedEnding ending;
    if (!trace) return ending;
    std::wstring lineErrors;
    ending.said = trace->TakeEnd(kTraceWaitMs, lineErrors);
    if (!lineErrors.empty()) {
        ending.lineErrors = ExplainLineErrors(lineErrors, DescribeLine(ReadStoredSettings(line.settingsPath)));
    }
    return ending;
}

// The error in the trace, or else what Windows says when devhost opens the port itself.
std::wstring WhyPortNotOpened(const CommandLine& line) {
    CTraceReader* trace = CTraceReader::Current();
    const std::wstring portName = ReadStoredSettings(line.settingsPath).port;
    const DWORD error = TracedError(trace ? trace->TakeOpenFailure(kTraceWaitMs) : L"");
    if (error != 0) return portName + L" could not be opened: " + WindowsMessage(error);
    const Win32::CUniqueHandle port(CreateFileW(DevicePathOf(portName).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                               nullptr, OPEN_EXISTING, 0, nullptr));
    if (!port.IsValid()) return portName + L" could not be opened: " + WindowsMessage(GetLastError());
    DCB record{};
    record.DCBlength = sizeof record;
    if (!GetCommState(port.Get(), &record)) return portName + L" is not a serial port: " + WindowsMessage(GetLastError());
    return portName + L" could not be opened by the plug-in, though it opens now";
}

}  // namespace DevHost
