#include "DoctorReport.h"
#include <cstdio>
#include <cwchar>
#include "plugin_api/SharedConstants.h"

namespace DevHost {
namespace {

// The report is for field support, who read a refusal by its name.
// ERROR_NO_SUCH_DEVICE is missing from some SDKs' headers.
struct ErrorName {
    DWORD code;
    const wchar_t* name;
};
#define WIDE_TEXT(text) L##text
#define NAMED_ERROR(code) \
    { code, WIDE_TEXT(#code) }
constexpr ErrorName kErrorNames[] = {
    NAMED_ERROR(ERROR_INVALID_FUNCTION),
    NAMED_ERROR(ERROR_FILE_NOT_FOUND),
    NAMED_ERROR(ERROR_PATH_NOT_FOUND),
    NAMED_ERROR(ERROR_ACCESS_DENIED),
    NAMED_ERROR(ERROR_INVALID_HANDLE),
    NAMED_ERROR(ERROR_NOT_ENOUGH_MEMORY),
    NAMED_ERROR(ERROR_NOT_READY),
    NAMED_ERROR(ERROR_BAD_COMMAND),
    NAMED_ERROR(ERROR_GEN_FAILURE),
    NAMED_ERROR(ERROR_SHARING_VIOLATION),
    NAMED_ERROR(ERROR_NOT_SUPPORTED),
    NAMED_ERROR(ERROR_INVALID_PARAMETER),
    NAMED_ERROR(ERROR_BROKEN_PIPE),
    NAMED_ERROR(ERROR_SEM_TIMEOUT),
    NAMED_ERROR(ERROR_INVALID_NAME),
    NAMED_ERROR(ERROR_BUSY),
    {433, L"ERROR_NO_SUCH_DEVICE"},
    NAMED_ERROR(ERROR_OPERATION_ABORTED),
    NAMED_ERROR(ERROR_IO_INCOMPLETE),
    NAMED_ERROR(ERROR_COUNTER_TIMEOUT),
    NAMED_ERROR(ERROR_DEVICE_NOT_CONNECTED),
    NAMED_ERROR(ERROR_NOT_FOUND),
    NAMED_ERROR(ERROR_DEVICE_REMOVED),
};
#undef NAMED_ERROR
#undef WIDE_TEXT

std::wstring ErrorText(DWORD error) {
    for (const ErrorName& known : kErrorNames) {
        if (known.code == error) return std::wstring(known.name) + L" (" + std::to_wstring(error) + L")";
    }
    return L"error " + std::to_wstring(error);
}

std::wstring Ms(DWORD milliseconds) { return std::to_wstring(milliseconds) + L" ms"; }

std::wstring Verdict(const CallAnswer& answer) {
    return answer.Taken() ? L"taken" : L"refused, " + ErrorText(answer.error);
}

// One row: what the driver did, then what the plug-in does about it.
void Row(std::wstring& out, const std::wstring& seen, const std::wstring& pluginDoes) {
    out += seen + L"\n    plug-in: " + pluginDoes + L"\n";
}

void CallRow(std::wstring& out, const wchar_t* call, const CallAnswer& answer, const wchar_t* ifTaken,
             const wchar_t* ifRefused) {
    Row(out, std::wstring(call) + L": " + Verdict(answer), answer.Taken() ? ifTaken : ifRefused);
}

// A line of what follows from a row, where the plug-in has nothing to do about it.
void Note(std::wstring& out, const std::wstring& note) { out += L"    " + note + L"\n"; }

std::wstring BusText(const DeviceBus& bus) {
    switch (bus.kind) {
        case DeviceBus::Kind::Usb: return L"a USB adapter, VID " + bus.vendorId + L" PID " + bus.productId;
        case DeviceBus::Kind::Bluetooth:
            if (!bus.addressKnown) return L"Bluetooth, its id does not tell incoming from outgoing";
            return bus.remoteAddress.empty() ? L"Bluetooth, incoming" : L"Bluetooth, outgoing to " + bus.remoteAddress;
        case DeviceBus::Kind::Motherboard: return L"a port of the computer itself";
        case DeviceBus::Kind::Other: break;
    }
    return L"on " + (bus.enumerator.empty() ? std::wstring(L"an unnamed bus") : bus.enumerator);
}

// FTDI's driver holds an answer shorter than its buffer until the timer runs out.
void ReportLatency(std::wstring& out, const PortDevice& device) {
    if (!device.latencyKnown && !device.bus.ftdiDriver) return;
    const DWORD ms = device.latencyKnown ? device.latencyMs : 16;
    out += L"latency timer (Device Parameters, LatencyTimer): " +
           (device.latencyKnown ? Ms(ms) : L"not set, so the driver's default of " + Ms(ms)) + L"\n";
    Note(out, L"an answer shorter than the adapter's buffer waits up to " + Ms(ms) +
                  L" before the adapter sends it on; Device Manager changes it in the port's advanced port settings");
}

std::wstring WhyNoDevice(const PortDevice& device) {
    if (device.underWine) return L" (under Wine, ports have no device entry)";
    if (device.error != ERROR_SUCCESS) return L" (SetupAPI refused the listing, " + ErrorText(device.error) + L")";
    return L" in the Ports or Modem class (some virtual ports' drivers list theirs elsewhere)";
}

void ReportDevice(std::wstring& out, const PortDevice& device) {
    if (!device.found) {
        out += L"device: Windows names no device for " + device.portName + WhyNoDevice(device) + L"\n";
        return;
    }
    const std::wstring name = device.friendlyName.empty() ? L"no friendly name" : device.friendlyName;
    out += L"device: " + name + L", " + BusText(device.bus) + L" (" + device.instanceId + L")\n";
    if (device.bus.kind == DeviceBus::Kind::Bluetooth && device.bus.addressKnown && device.bus.remoteAddress.empty()) {
        Note(out, L"an incoming Bluetooth port never brings data from an instrument that waits to be called: the "
                  L"host must use the outgoing port");
    }
    ReportLatency(out, device);
}

std::wstring LineErrorText(DWORD errors) {
    static const ErrorName kFlags[] = {
        {CE_RXOVER, L"CE_RXOVER (the driver's input queue was full: bytes were lost)"},
        {CE_OVERRUN, L"CE_OVERRUN (the port could not keep up: bytes were lost)"},
        {CE_RXPARITY, L"CE_RXPARITY (a character's parity bit was wrong)"},
        {CE_FRAME, L"CE_FRAME (a character's stop bit was missing)"},
        {CE_BREAK, L"CE_BREAK (the line was held at space)"},
    };
    if (errors == 0) return L"none";
    wchar_t word[16];
    std::swprintf(word, 16, L"0x%04lX", errors);
    std::wstring text = word;
    for (const ErrorName& flag : kFlags) {
        if ((errors & flag.code) != 0) text += std::wstring(L", ") + flag.name;
    }
    if ((errors & (CE_RXPARITY | CE_FRAME)) != 0) {
        text += L"; characters that do not fit the line settings are the commonest sign of another speed";
    }
    return text;
}

// False when the port cannot serve an exchange at all.
bool ReportOpen(std::wstring& out, const DriverState& first) {
    const wchar_t* openingError = L"reports its opening error and sends no other event";
    if (first.openError != ERROR_SUCCESS) {
        Row(out, L"open: failed after " + Ms(first.openMilliseconds) + L", " + ErrorText(first.openError),
            openingError);
        return false;
    }
    if (!first.readRecord.Taken()) {
        Row(out,
            L"open: " + Ms(first.openMilliseconds) + L", but its line record cannot be read (GetCommState " +
                ErrorText(first.readRecord.error) + L"): no serial port",
            openingError);
        return false;
    }
    Row(out, L"open: took " + Ms(first.openMilliseconds),
        L"opens the port as each exchange starts, which starts that much later");
    return true;
}

void ReportOwnRecords(std::wstring& out, const DriverObservations& seen) {
    CallRow(out, L"its own line record (GetCommState, then SetCommState of the same)", seen.ownRecord,
            L"starts from the driver's own record, for drivers that refuse a record not read from them",
            L"runs the exchange at the driver's own settings when it refuses the user's, and says so in its trace");
    CallRow(out, L"a record with equal XON and XOFF characters (both NUL, XON/XOFF on)", seen.equalCharacters,
            L"sends DC1/DC3 as XON/XOFF characters all the same, so a NUL in the data never pauses output",
            L"sends DC1/DC3 as XON/XOFF characters, so such a driver takes the user's settings");
}

std::wstring After(const std::wstring& line, const wchar_t* mark) {
    const size_t at = line.find(mark);
    return at == std::wstring::npos ? L"" : line.substr(at + std::wcslen(mark));
}

bool Says(const std::wstring& line, const wchar_t* words) { return line.find(words) != std::wstring::npos; }

// The rows of what the loaded plug-in did, in its own trace's words: what
// it set is known only from there.
void ReportPlugin(std::wstring& out, const PluginObservations& plugin) {
    const wchar_t* row = L"the stored settings, as the plug-in set them (its trace): ";
    if (!plugin.unknown.empty()) {
        Row(out, std::wstring(row) + L"could not tell, " + plugin.unknown,
            L"what it sets, queues and time-outs included, is not known here");
        return;
    }
    bool opened = false;
    std::wstring refusals;
    for (const std::wstring& line : plugin.lines) {
        if (!After(line, L" opened: ").empty()) {
            opened = true;
            Row(out, std::wstring(row) + L"taken, " + After(line, L" opened: "), L"the exchange runs at these settings");
        } else if (Says(line, L" and keeps its own settings")) {
            opened = true;
            Row(out, std::wstring(row) + L"refused: " + line, L"the exchange runs at the driver's own settings");
        } else if (Says(line, L"refused queues") || Says(line, L"refused the time-outs")) {
            refusals += L"; " + line;
        } else if (!Says(line, Shared::kExchangeEnded)) {
            Note(out, L"the plug-in's trace: " + line);
        }
    }
    if (!opened) {
        Row(out, std::wstring(row) + L"could not tell, its trace names no open", L"its trace lines are above");
        return;
    }
    Row(out,
        L"the plug-in's queues and time-outs (SetupComm, SetCommTimeouts): " +
            (refusals.empty() ? L"taken, its trace names no refusal" : L"refused" + refusals),
        refusals.empty() ? L"sets them as each exchange starts" : L"keeps the driver's own");
}

void ReportStatusCall(std::wstring& out, const DriverObservations& seen) {
    Row(out,
        L"status call (ClearCommError): " +
            (seen.status.Taken() ? std::wstring(L"works") : L"refused, " + ErrorText(seen.status.error)),
        seen.status.Taken() ? L"learns from it what is queued"
                            : L"receives without it (reads with time-outs that return at once), noted once in "
                              L"its trace");
    if (seen.status.Taken()) {
        Row(out, L"line errors in the status call's error word: " + LineErrorText(seen.lineErrors),
            L"counts them over each exchange and traces the totals, which devhost receive and term show");
    }
}

// A write that moves its bytes at once shows nothing of the count.
constexpr DWORD kTellingWriteMs = 20;

void ReportOutputCount(std::wstring& out, const OutputCount& output) {
    std::wstring seen =
        L"queued output (cbOutQue during a write of " + std::to_wstring(output.bytes) + L" NUL bytes): ";
    std::wstring ran = L" while the write ran " + Ms(output.milliseconds);
    if (!output.completed && output.startError == ERROR_SUCCESS) ran += L" (unfinished, cancelled)";
    if (output.startError != ERROR_SUCCESS) {
        seen += L"could not tell, the write was refused, " + ErrorText(output.startError);
    } else if (output.mostQueued > 0) {
        Row(out, seen + L"counted, up to " + std::to_wstring(output.mostQueued) + L" bytes" + ran,
            L"waits for a write as long as the count keeps falling");
        return;
    } else if (output.completedAtOnce || output.milliseconds < kTellingWriteMs) {
        seen += L"could not tell, the write completed at once (" + Ms(output.milliseconds) + L")";
    } else if (!output.statusWorked) {
        seen += L"could not tell, the status call is refused";
    } else {
        seen += L"not counted, it stayed 0" + ran;
    }
    Row(out, seen, L"a driver that does not count gets the write's line time plus 3 s before it is given up");
}

std::wstring Completion(const QuietCall& call, const wchar_t* what) {
    std::wstring text = Ms(call.milliseconds) + L" with " + what;
    if (call.error != ERROR_SUCCESS) text += L", " + ErrorText(call.error);
    if (call.queueKnown && call.queued > 0) text += L"; " + std::to_wstring(call.queued) + L" bytes queued";
    return text;
}

std::wstring EndingText(const Ending& ending) {
    std::wstring text;
    if (ending.byCancel) {
        text = L"CancelIoEx ended it in " + Ms(ending.milliseconds);
    } else if (ending.byEmptyMask) {
        text = L"CancelIoEx left it running " + Ms(kCancelGraceMs) + L"; an empty mask (SetCommMask 0) ended it in " +
               Ms(ending.milliseconds);
    } else if (ending.ended) {
        text = L"CancelIoEx did not end it within " + Ms(kCancelGraceMs) + L"; it ended " + Ms(ending.milliseconds) +
               L" after the cancel";
    } else {
        return L"nothing ended it within " + Ms(ending.milliseconds);
    }
    return text + L", " + ErrorText(ending.error);
}

void ReportCharacterWait(std::wstring& out, const QuietCall& wait) {
    const wchar_t* turns =
        L"each listening turn still takes 100 ms, so a quiet line costs no more than a 100 ms "
        L"polling loop";
    std::wstring seen = L"character wait on a quiet line (WaitCommEvent, EV_RXCHAR): ";
    if (wait.startError != ERROR_SUCCESS) {
        Row(out, seen + L"refused, " + ErrorText(wait.startError), turns);
        return;
    }
    if (wait.completed && wait.queueKnown && wait.queued > 0) {
        Row(out,
            seen + L"characters came after " + Ms(wait.milliseconds) +
                L", so the line was not quiet; switch the instrument off and run doctor again",
            L"waits for characters in turns of 100 ms");
        return;
    }
    if (wait.completed) {
        wchar_t events[16];
        std::swprintf(events, 16, L"events 0x%04lX", wait.result);
        Row(out, seen + L"completed without a character after " + Completion(wait, events), turns);
        return;
    }
    Row(out, seen + L"stayed pending for " + Ms(kCharacterWaitMs), L"waits for characters in turns of 100 ms");
    Row(out, L"ending that wait: " + EndingText(wait.ending),
        L"ends a wait with an empty mask, then cancels and reaps it, so a driver that ignores the cancel ends it too");
}

void ReportEmptyRead(std::wstring& out, const QuietCall& read, const CallAnswer& timeouts) {
    std::wstring seen = L"read on an empty queue with time-outs that return at once: ";
    if (!timeouts.Taken()) seen += L"(the time-outs refused, " + ErrorText(timeouts.error) + L") ";
    if (read.startError != ERROR_SUCCESS) {
        Row(out, seen + L"refused, " + ErrorText(read.startError),
            L"ends the exchange when the device no longer answers, and says why in its trace");
    } else if (read.completed) {
        Row(out,
            seen + L"returned at once, after " + Completion(read, (std::to_wstring(read.result) + L" bytes").c_str()),
            L"reads what is queued and goes on");
    } else {
        Row(out, seen + L"went pending; " + EndingText(read.ending),
            L"cancels and reaps such a read, keeping what it moved");
    }
}

}  // namespace

DoctorReport WriteDoctorReport(const PortDevice& device, const DriverState& first, const PluginObservations& plugin,
                               const DriverObservations& seen) {
    DoctorReport report;
    ReportDevice(report.text, device);
    report.portUsable = ReportOpen(report.text, first);
    if (!report.portUsable) return report;
    if (seen.reopenError != ERROR_SUCCESS) {
        ReportPlugin(report.text, plugin);
        report.text += L"after the plug-in's exchange the port did not open again within 2 s: " +
                       ErrorText(seen.reopenError) + L"\n";
        return report;
    }
    ReportOwnRecords(report.text, seen);
    ReportPlugin(report.text, plugin);
    ReportStatusCall(report.text, seen);
    ReportOutputCount(report.text, seen.output);
    ReportCharacterWait(report.text, seen.characterWait);
    ReportEmptyRead(report.text, seen.emptyRead, seen.readTimeouts);
    report.text += seen.restored.Taken() ? L"\nThe driver's line record, event mask and time-outs are as they were.\n"
                                         : L"\nThe driver's settings could not all be put back: " +
                                               ErrorText(seen.restored.error) + L"\n";
    return report;
}

}  // namespace DevHost
