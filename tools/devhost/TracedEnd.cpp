#include "TracedEnd.h"
#include <cstdio>
#include <cwchar>
#include <utility>
#include "ConsoleOutput.h"
#include "SerialOpen.h"
#include "TraceReader.h"
#include "plugin_api/SharedConstants.h"
#include "win32/DevicePath.h"

namespace DevHost {
namespace {

constexpr DWORD kTraceWaitMilliseconds = 500;

std::vector<std::wstring> TakeTraced(const std::wstring& awaited) {
    CTraceReader* trace = CTraceReader::Current();
    return trace ? trace->TakeLines(awaited, kTraceWaitMilliseconds) : std::vector<std::wstring>{};
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
        if (const std::wstring end = TextAfter(said, endMark); !end.empty()) {
            ending = {end, std::exchange(totals, {}), {}};
        }
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
    if (error == ERROR_SUCCESS) error = OpenSerialPort(Win32::DevicePathFor(portName.c_str()), port, record);
    if (error == ERROR_SUCCESS) return portName + L" could not be opened by the plug-in, though it opens now";
    return portName + (port.IsValid() ? L" is not a serial port" : failed) + L": " + WindowsMessage(error);
}

}  // namespace DevHost
