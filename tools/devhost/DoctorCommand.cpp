#include <windows.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <vector>
#include "Commands.h"
#include "ConsoleOutput.h"
#include "ExchangeSink.h"
#include "DeviceList.h"
#include "MovedPort.h"
#include "PluginLoader.h"
#include "PortDevice.h"
#include "SerialOpen.h"
#include "PropertyView.h"
#include "SettingsFile.h"
#include "TraceReader.h"
#include "TracedEnd.h"
#include "plugin_api/SharedConstants.h"
#include "win32/Event.h"
#include "win32/DevicePath.h"
#include "win32/UniqueHandle.h"

namespace DevHost {
namespace {

constexpr DWORD kCharacterWaitMilliseconds = 300;
constexpr DWORD kCancelGraceMilliseconds = 100;
// A driver that ignores the cancel may still end the call a while later.
constexpr DWORD kLastChanceMilliseconds = 1000;
// A read reported pending that ends this soon still returned at once for the exchange.
constexpr DWORD kAtOnceMilliseconds = 50;
constexpr DWORD kStatusStepMilliseconds = 5;
constexpr DWORD kReadSize = 4096;
// A write that moves its bytes at once shows nothing of the count.
constexpr DWORD kTellingWriteMilliseconds = 20;
// A driver may still be finishing the plug-in's close: the plug-in, too, tries a busy port again for 2 s.
constexpr DWORD kReopenMilliseconds = 2000;
constexpr DWORD kReopenStepMilliseconds = 100;
// Long enough for the plug-in to open the port, a Bluetooth one included, and to end its exchange once stopped.
constexpr ULONGLONG kPluginStartMilliseconds = 10000;
constexpr DWORD kPluginEndMilliseconds = 5000;

// The report is for field support, who read a refusal by its name.
// ERROR_NO_SUCH_DEVICE is missing from some SDKs' headers.
struct ErrorName {
    DWORD code;
    const wchar_t* name;
};
#define NAMED_ERROR(code) \
    { code, L"" #code }
constexpr ErrorName kErrorNames[] = {
    NAMED_ERROR(ERROR_INVALID_FUNCTION),  NAMED_ERROR(ERROR_FILE_NOT_FOUND),    NAMED_ERROR(ERROR_PATH_NOT_FOUND),
    NAMED_ERROR(ERROR_ACCESS_DENIED),     NAMED_ERROR(ERROR_INVALID_HANDLE),    NAMED_ERROR(ERROR_NOT_ENOUGH_MEMORY),
    NAMED_ERROR(ERROR_NOT_READY),         NAMED_ERROR(ERROR_BAD_COMMAND),       NAMED_ERROR(ERROR_GEN_FAILURE),
    NAMED_ERROR(ERROR_SHARING_VIOLATION), NAMED_ERROR(ERROR_NOT_SUPPORTED),     NAMED_ERROR(ERROR_INVALID_PARAMETER),
    NAMED_ERROR(ERROR_BROKEN_PIPE),       NAMED_ERROR(ERROR_SEM_TIMEOUT),       NAMED_ERROR(ERROR_INVALID_NAME),
    NAMED_ERROR(ERROR_BUSY),              {433, L"ERROR_NO_SUCH_DEVICE"},       NAMED_ERROR(ERROR_OPERATION_ABORTED),
    NAMED_ERROR(ERROR_IO_INCOMPLETE),     NAMED_ERROR(ERROR_COUNTER_TIMEOUT),   NAMED_ERROR(ERROR_DEVICE_NOT_CONNECTED),
    NAMED_ERROR(ERROR_NOT_FOUND),         NAMED_ERROR(ERROR_DEVICE_REMOVED),
};
#undef NAMED_ERROR

constexpr ErrorName kLineErrorFlags[] = {
    {CE_RXOVER, L"CE_RXOVER (the driver's input queue was full: bytes were lost)"},
    {CE_OVERRUN, L"CE_OVERRUN (the port could not keep up: bytes were lost)"},
    {CE_RXPARITY, L"CE_RXPARITY (a character's parity bit was wrong)"},
    {CE_FRAME, L"CE_FRAME (a character's stop bit was missing)"},
    {CE_BREAK, L"CE_BREAK (the line was held at space)"},
};

std::wstring ErrorText(DWORD error) {
    for (const ErrorName& known : kErrorNames) {
        if (known.code == error) return std::wstring(known.name) + L" (" + std::to_wstring(error) + L")";
    }
    return L"error " + std::to_wstring(error);
}
std::wstring FailureText(DWORD error) { return error == ERROR_SUCCESS ? L"" : L", " + ErrorText(error); }
std::wstring Verdict(BOOL taken) { return taken ? L"taken" : L"refused, " + ErrorText(GetLastError()); }

std::wstring Duration(DWORD milliseconds) { return std::to_wstring(milliseconds) + L" ms"; }
std::wstring Hex(DWORD word) {
    wchar_t text[16];
    std::swprintf(text, 16, L"0x%04lX", word);
    return text;
}
bool Says(const std::wstring& line, const wchar_t* words) { return line.find(words) != std::wstring::npos; }

// Not the tick count, which moves in steps of about 16 ms.
using Clock = std::chrono::steady_clock;
DWORD MillisecondsSince(Clock::time_point start) {
    return static_cast<DWORD>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

// Whatever ends the call, it is reaped before the memory the driver writes
// into goes; a call that a driver never ends, not even after a cancel, keeps
// that memory to the end of the process rather than hand the driver freed memory.
class COverlappedCall {
public:
    struct State {
        explicit State(DWORD bufferSize) : buffer(bufferSize) { record.hEvent = done.Get(); }
        Win32::CEvent done{Win32::CEvent::Reset::Manual};
        OVERLAPPED record{};
        DWORD events = 0;
        DWORD moved = 0;
        std::vector<uint8_t> buffer;
    };

    // Made right before the call starts, so that it times the call.
    COverlappedCall(HANDLE port, DWORD bufferSize) : m_port(port), m_state(std::make_unique<State>(bufferSize)) {}
    ~COverlappedCall() {
        if (m_running) End(false);
        if (m_running) m_state.release();  // NOLINT(bugprone-unused-return-value): the driver may still write into it
    }

    State* operator->() { return m_state.get(); }

    // Empty when the call completed or went pending, otherwise why it was refused.
    std::wstring Start(BOOL completed) {
        m_running = completed || GetLastError() == ERROR_IO_PENDING;
        return m_running ? L"" : Verdict(FALSE);
    }
    bool EndsWithin(DWORD milliseconds) const {
        return WaitForSingleObject(m_state->done.Get(), milliseconds) == WAIT_OBJECT_0;
    }
    DWORD MillisecondsRunning() const { return MillisecondsSince(m_started); }
    DWORD Reap() {
        m_running = false;
        return GetOverlappedResult(m_port, &m_state->record, &m_state->moved, FALSE) ? ERROR_SUCCESS : GetLastError();
    }
    // Ends a call that stayed pending, saying how; a wait (emptyMask) ends with an empty mask where the cancel
    // leaves it running.
    std::wstring End(bool emptyMask) {
        const Clock::time_point cancelled = Clock::now();
        CancelIoEx(m_port, &m_state->record);
        std::wstring how;
        if (EndsWithin(kCancelGraceMilliseconds)) {
            how = L"CancelIoEx ended it in " + Duration(MillisecondsSince(cancelled));
        } else if (const Clock::time_point masked = Clock::now();
                   emptyMask && SetCommMask(m_port, 0) && EndsWithin(kCancelGraceMilliseconds)) {
            how = L"CancelIoEx left it running " + Duration(kCancelGraceMilliseconds) +
                  L"; an empty mask (SetCommMask 0) ended it in " + Duration(MillisecondsSince(masked));
        } else if (EndsWithin(kLastChanceMilliseconds)) {
            how = L"CancelIoEx did not end it within " + Duration(kCancelGraceMilliseconds) + L"; it ended " +
                  Duration(MillisecondsSince(cancelled)) + L" after the cancel";
        } else {
            return L"nothing ended it within " + Duration(MillisecondsSince(cancelled));
        }
        return how + L", " + ErrorText(Reap());
    }

private:
    HANDLE m_port;
    std::unique_ptr<State> m_state;
    const Clock::time_point m_started = Clock::now();
    bool m_running = false;
};

// Through a plain function pointer: a FARPROC cast straight to another type draws a warning.
template <typename Call>
Call NtdllCall(const char* name) {
    return reinterpret_cast<Call>(reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), name)));
}

std::wstring SystemText() {
    const auto version = NtdllCall<LONG(WINAPI*)(OSVERSIONINFOW*)>("RtlGetVersion");
    const auto wine = NtdllCall<const char*(CDECL*)()>("wine_get_version");
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    std::wstring text = L"Windows";
    if (version && version(&info) == 0) {
        text += L" " + std::to_wstring(info.dwMajorVersion) + L"." + std::to_wstring(info.dwMinorVersion) + L" build " +
                std::to_wstring(info.dwBuildNumber);
    }
    if (wine) text += L" (Wine " + FromUtf8(wine()) + L")";
    return text;
}

class CDoctor {
public:
    CDoctor(const CommandLine& line, std::wstring port)
        : m_line(line), m_portName(std::move(port)), m_path(Win32::DevicePathFor(m_portName.c_str())) {}

    int Run() {
        SYSTEMTIME now;
        GetSystemTime(&now);
        wchar_t date[32];
        std::swprintf(date, 32, L"%04u-%02u-%02u %02u:%02u UTC", now.wYear, now.wMonth, now.wDay, now.wHour,
                      now.wMinute);
        Print(stdout, L"devhost doctor: " + m_portName + L" (" + m_path + L"), " + date + L"\nsystem: " + SystemText() +
                          L"\nstored settings: " + DescribeStored(ReadStoredSettings(m_line.settingsPath)) + L" (" +
                          m_line.settingsPath + L")\n\n");
        const DeviceList devices = ListPortDevices();
        Print(stdout, DeviceRows(FindPortDevice(devices, m_portName)) + WhereItWent(devices));
        if (!ReadFirstState()) return ExitPortNotOpened;
        PluginRows();
        ProbeDriver();
        return ExitOk;
    }

private:
    void Row(const std::wstring& seen, const std::wstring& pluginDoes) {
        Print(stdout, seen + L"\n    plug-in: " + pluginDoes + L"\n");
    }

    // Empty for a port the plug-in lists, and when the plug-in cannot be loaded to list them.
    std::wstring WhereItWent(const DeviceList& devices) const {
        std::wstring loadError;
        const PluginPtr plugin = LoadPlugin(m_line, loadError);
        if (!plugin) return L"";
        return WhereThePortWent(m_portName.substr(m_portName.rfind(L'\\') + 1), PortsOffered(*plugin), devices);
    }

    // Reads the state put back at the end; false when the port cannot serve an exchange at all.
    bool ReadFirstState() {
        const Clock::time_point start = Clock::now();
        Win32::CUniqueHandle port;
        const DWORD error = OpenSerialPort(m_path, port, m_first);
        const std::wstring took = Duration(MillisecondsSince(start));
        if (error != ERROR_SUCCESS) {
            Row(port.IsValid() ? L"open: " + took + L", but its line record cannot be read (GetCommState " +
                                     ErrorText(error) + L"): no serial port"
                               : L"open: failed after " + took + L", " + ErrorText(error),
                L"reports its opening error and sends no other event");
            return false;
        }
        GetCommMask(port.Get(), &m_firstMask);
        if (COMMTIMEOUTS timeouts{}; GetCommTimeouts(port.Get(), &timeouts)) m_firstTimeouts = timeouts;
        Row(L"open: took " + took, L"opens the port as each exchange starts, which starts that much later");
        return true;
    }

    // What the loaded plug-in set on the port is known only from its trace: the events a host sees are the
    // same whatever the driver took. It runs one exchange there, started and stopped at once.
    void PluginRows() {
        const wchar_t* row = L"the stored settings, as the plug-in set them (its trace): ";
        const auto cannotTell = [&](const std::wstring& why) {
            Row(std::wstring(row) + L"could not tell, " + why,
                L"what it sets, queues and time-outs included, is not known here");
        };
        CTraceReader* trace = CTraceReader::Current();
        if (!trace) return cannotTell(L"the plug-in's trace cannot be read (another program reads the debug output)");
        // Declared before the plug-in, which may use it until destroyed.
        CExchangeSink sink;
        std::wstring loadError;
        PluginPtr plugin = LoadPlugin(m_line, loadError);
        if (!plugin) return cannotTell(loadError);
        CIniSettingsReader reader(m_line.settingsPath, m_portName);
        plugin->LoadSettings(&reader);
        plugin->SetEventSink(&sink);
        trace->TakeLines();
        if (!plugin->StartExchange()) return cannotTell(L"the plug-in refused to start an exchange");
        for (const ULONGLONG begun = GetTickCount64(); GetTickCount64() - begun < kPluginStartMilliseconds;) {
            if (sink.Report().started || sink.WaitForEnd(10)) break;
        }
        plugin->StopExchange();
        sink.WaitForEnd(kPluginEndMilliseconds);
        plugin.reset();
        const std::vector<std::wstring> lines = trace->TakeLines();
        if (lines.empty()) return cannotTell(L"the plug-in's trace said nothing of its exchange");
        bool saidOpen = false;
        std::wstring refusals;
        for (const std::wstring& line : lines) {
            if (const std::wstring settings = TextAfter(line, L" opened: "); !settings.empty()) {
                saidOpen = true;
                Row(std::wstring(row) + L"taken, " + settings, L"the exchange runs at these settings");
            } else if (Says(line, L" and keeps its own settings")) {
                saidOpen = true;
                Row(std::wstring(row) + L"refused: " + line, L"the exchange runs at the driver's own settings");
            } else if (Says(line, L"refused queues") || Says(line, L"refused the time-outs")) {
                refusals += L"; " + line;
            } else if (!Says(line, Shared::kExchangeEnded)) {
                Print(stdout, L"    the plug-in's trace: " + line + L"\n");
            }
        }
        if (!saidOpen) return Row(std::wstring(row) + L"could not tell, its trace names no open",
                                  L"its trace lines are above");
        Row(L"the plug-in's queues and time-outs (SetupComm, SetCommTimeouts): " +
                (refusals.empty() ? L"taken, its trace names no refusal" : L"refused" + refusals),
            refusals.empty() ? L"sets them as each exchange starts" : L"keeps the driver's own");
    }

    // doctor's own calls, made after the plug-in's exchange, so at the line settings it left.
    void ProbeDriver() {
        Win32::CUniqueHandle port;
        DWORD error = OpenSerialPort(m_path, port, m_record);
        for (const Clock::time_point start = Clock::now();
             error != ERROR_SUCCESS && MillisecondsSince(start) < kReopenMilliseconds;) {
            Sleep(kReopenStepMilliseconds);
            error = OpenSerialPort(m_path, port, m_record);
        }
        if (error != ERROR_SUCCESS) {
            Print(stdout,
                  L"after the plug-in's exchange the port did not open again within 2 s: " + ErrorText(error) + L"\n");
            return;
        }
        m_port = port.Get();
        RecordRows();
        COMMTIMEOUTS atOnce{MAXDWORD, 0, 0, 0, 0};
        const std::wstring timeouts = Verdict(SetCommTimeouts(m_port, &atOnce));
        // Bytes an earlier program left in the driver would pass for data on the quiet line the next calls need.
        PurgeComm(m_port, PURGE_RXCLEAR);
        const bool statusWorks = Status().has_value();
        Row(L"status call (ClearCommError): " + (statusWorks ? L"works" : Verdict(FALSE)),
            statusWorks ? L"learns from it what is queued"
                        : L"receives without it (reads with time-outs that return at once), noted once in its trace");
        EmptyReadRow(timeouts);
        CharacterWaitRows();
        OutputCountRow(statusWorks);
        if (statusWorks) LineErrorsRow();
        Restore();
    }

    // The equal characters come with XON/XOFF on, as the old zeroed record had them: some drivers check them
    // only then.
    void RecordRows() {
        const std::wstring ownVerdict = Verdict(SetCommState(m_port, &m_record));
        DCB equal = m_record;
        equal.fOutX = equal.fInX = TRUE;
        equal.XonChar = equal.XoffChar = 0;
        const std::wstring equalVerdict = Verdict(SetCommState(m_port, &equal));
        SetCommState(m_port, &m_record);
        Row(L"its own line record (GetCommState, then SetCommState of the same): " + ownVerdict,
            ownVerdict == L"taken" ? L"starts from the driver's own record, for drivers that refuse a record not "
                                     L"read from them"
                                   : L"runs the exchange at the driver's own settings when it refuses the user's, "
                                     L"and says so in its trace");
        Row(L"a record with equal XON and XOFF characters (both NUL, XON/XOFF on): " + equalVerdict,
            equalVerdict == L"taken"
                ? L"sends DC1/DC3 as XON/XOFF characters all the same, so a NUL in the data never pauses output"
                : L"sends DC1/DC3 as XON/XOFF characters, so such a driver takes the user's settings");
    }

    // Each call clears the word, so every call's flags are kept.
    std::optional<COMSTAT> Status() {
        DWORD lineErrors = 0;
        COMSTAT status{};
        if (!ClearCommError(m_port, &lineErrors, &status)) return std::nullopt;
        m_lineErrors |= lineErrors;
        return status;
    }

    DWORD QueuedBytes() { return Status().value_or(COMSTAT{}).cbInQue; }

    void EmptyReadRow(const std::wstring& timeouts) {
        const std::wstring seen = L"read on an empty queue with time-outs that return at once: " +
                                  (timeouts == L"taken" ? L"" : L"(the time-outs " + timeouts + L") ");
        COverlappedCall read(m_port, kReadSize);
        const auto refused = read.Start(ReadFile(m_port, read->buffer.data(), kReadSize, nullptr, &read->record));
        if (!refused.empty()) {
            Row(seen + refused, L"ends the exchange when the device no longer answers, and says why in its trace");
        } else if (read.EndsWithin(kAtOnceMilliseconds)) {
            const DWORD elapsed = read.MillisecondsRunning();
            const DWORD error = read.Reap();
            const DWORD queued = QueuedBytes();
            Row(seen + L"returned at once, after " + Duration(elapsed) + L" with " + std::to_wstring(read->moved) +
                    L" bytes" + FailureText(error) +
                    (queued > 0 ? L"; " + std::to_wstring(queued) + L" bytes queued" : L""),
                L"reads what is queued and goes on");
        } else {
            Row(seen + L"went pending; " + read.End(false), L"cancels and reaps such a read, keeping what it moved");
        }
    }

    void CharacterWaitRows() {
        const wchar_t* turns =
            L"each listening turn still takes 100 ms, so a quiet line costs no more than a 100 ms polling loop";
        const wchar_t* waits = L"waits for characters in turns of 100 ms";
        const std::wstring seen = L"character wait on a quiet line (WaitCommEvent, EV_RXCHAR): ";
        SetCommMask(m_port, EV_RXCHAR);
        COverlappedCall wait(m_port, 0);
        const std::wstring refused = wait.Start(WaitCommEvent(m_port, &wait->events, &wait->record));
        if (!refused.empty()) {
            Row(seen + refused, turns);
        } else if (!wait.EndsWithin(kCharacterWaitMilliseconds)) {
            Row(seen + L"stayed pending for " + Duration(kCharacterWaitMilliseconds), waits);
            Row(L"ending that wait: " + wait.End(true),
                L"ends a wait with an empty mask, then cancels and reaps it, so a driver that ignores the cancel "
                L"ends it too");
        } else if (QueuedBytes() > 0) {
            Row(seen + L"characters came after " + Duration(wait.MillisecondsRunning()) +
                    L", so the line was not quiet; switch the instrument off and run doctor again",
                waits);
        } else {
            Row(seen + L"completed without a character after " + Duration(wait.MillisecondsRunning()) +
                    L" with events " + Hex(wait->events) + FailureText(wait.Reap()),
                turns);
        }
    }

    // About 100 ms of line time at the speed in effect, sampling the output count while the write runs.
    void OutputCountRow(bool statusWorks) {
        // A character in half bits, so that 1.5 stop bits count: a start bit, the data, the parity, the stop bits.
        const DWORD stopHalves = m_record.StopBits == TWOSTOPBITS ? 4 : m_record.StopBits == ONE5STOPBITS ? 3 : 2;
        const DWORD halfBits = 2 * (1 + m_record.ByteSize + (m_record.Parity != NOPARITY ? 1 : 0)) + stopHalves;
        const DWORD baud = std::max<DWORD>(m_record.BaudRate, 1);
        const DWORD bytes = std::clamp<DWORD>(2 * baud / halfBits / 10, 16, 4096);
        const DWORD limit = bytes * halfBits * 1000 / (2 * baud) + kLastChanceMilliseconds;
        const std::wstring seen =
            L"queued output (cbOutQue during a write of " + std::to_wstring(bytes) + L" NUL bytes): ";
        const wchar_t* gets = L"a driver that does not count gets the write's line time plus 3 s before it is given up";
        COverlappedCall write(m_port, bytes);
        const BOOL completedAtOnce = WriteFile(m_port, write->buffer.data(), bytes, nullptr, &write->record);
        if (const std::wstring refused = write.Start(completedAtOnce); !refused.empty()) {
            Row(seen + L"could not tell, the write was " + refused, gets);
            return;
        }
        DWORD mostQueued = 0;
        do {
            mostQueued = std::max(mostQueued, Status().value_or(COMSTAT{}).cbOutQue);
        } while (!completedAtOnce && write.MillisecondsRunning() < limit && !write.EndsWithin(kStatusStepMilliseconds));
        const DWORD elapsed = write.MillisecondsRunning();
        const std::wstring ran =
            L" while the write ran " + Duration(elapsed) + (write.EndsWithin(0) ? L"" : L" (unfinished, cancelled)");
        if (mostQueued > 0) {
            Row(seen + L"counted, up to " + std::to_wstring(mostQueued) + L" bytes" + ran,
                L"waits for a write as long as the count keeps falling");
        } else if (completedAtOnce || elapsed < kTellingWriteMilliseconds) {
            Row(seen + L"could not tell, the write completed at once (" + Duration(elapsed) + L")", gets);
        } else if (!statusWorks) {
            Row(seen + L"could not tell, the status call is refused", gets);
        } else {
            Row(seen + L"not counted, it stayed 0" + ran, gets);
        }
    }

    void LineErrorsRow() {
        std::wstring text = m_lineErrors == 0 ? L"none" : Hex(m_lineErrors);
        for (const ErrorName& flag : kLineErrorFlags) {
            if ((m_lineErrors & flag.code) != 0) text += std::wstring(L", ") + flag.name;
        }
        if ((m_lineErrors & (CE_RXPARITY | CE_FRAME)) != 0) {
            text += L"; characters that do not fit the line settings are the commonest sign of another speed";
        }
        Row(L"line errors in the status call's error word: " + text,
            L"counts them over each exchange and traces the totals, which devhost receive and term show");
    }

    void Restore() {
        const bool restored = SetCommMask(m_port, m_firstMask) &&
                              (!m_firstTimeouts || SetCommTimeouts(m_port, &*m_firstTimeouts)) &&
                              SetCommState(m_port, &m_first);
        Print(stdout, restored ? L"\nThe driver's line record, event mask and time-outs are as they were.\n"
                               : L"\nThe driver's settings could not all be put back: " + ErrorText(GetLastError()) +
                                     L"\n");
    }

    const CommandLine& m_line;
    const std::wstring m_portName;
    const std::wstring m_path;
    DCB m_first{};
    DWORD m_firstMask = 0;
    std::optional<COMMTIMEOUTS> m_firstTimeouts;
    HANDLE m_port = nullptr;
    DCB m_record{};
    DWORD m_lineErrors = 0;
};

}  // namespace

int RunDoctor(const CommandLine& line) {
    if (!TakesAll(line, 1)) return ExitUsage;
    return CDoctor(line, line.arguments.empty() ? ReadStoredSettings(line.settingsPath).port : line.arguments[0])
        .Run();
}

}  // namespace DevHost
