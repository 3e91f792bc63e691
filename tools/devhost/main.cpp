// devhost: a console host for DeviceCommon.dll, for people checking a port
// and an instrument without the application, and for the end-to-end tests.
#include <cstdio>
#include <vector>
#include "CommandLine.h"
#include "ConsoleOutput.h"
#include "TraceReader.h"

namespace DevHost {
namespace {

constexpr wchar_t kCommonOptions[] =
    L"\nOptions of every command:\n"
    L"  --dll PATH        the plug-in DLL (default: DeviceCommon.dll next to devhost.exe)\n"
    L"  --settings FILE   the INI file of the settings, section [DeviceCommon]\n"
    L"                    (default: devhost.ini in the current folder)\n"
    L"  --trace           show the plug-in's trace (its debug output: the port\n"
    L"                    opened and its settings, why an exchange ended) on stderr\n"
    L"  --help            this text\n"
    L"An option a command does not know is refused (exit status 1).\n";

struct HelpText {
    const wchar_t* command;
    const wchar_t* text;
};

constexpr HelpText kHelp[] = {
    {L"",
     L"usage: devhost COMMAND [options]\n"
     L"A console host for DeviceCommon.dll: loads it as the application does.\n\n"
     L"Commands:\n"
     L"  info                 name, identifier, version and path of the plug-in\n"
     L"  settings             the plug-in's settings list with every choice\n"
     L"  set NAME=VALUE...    change settings through the plug-in and save them\n"
     L"  receive [options]    run one exchange with the instrument\n"
     L"  term [options]       a console session: type to the instrument, see its answers\n"
     L"  doctor [PORT]        how this machine's driver for the port answers the plug-in\n"
     L"devhost COMMAND --help tells more; docs/devhost.md (the package's README.txt) all.\n"},
    {L"info",
     L"usage: devhost info\n"
     L"Exit status: 0 printed, 1 bad options, 2 the plug-in could not be loaded.\n"},
    {L"settings",
     L"usage: devhost settings\n"
     L"The property list as the application shows it, each property with the name\n"
     L"`set` takes in [], every choice with its value in (), the selected one *. A\n"
     L"stored value not offered is said: \"COM9 (not present)\".\n"
     L"Exit status: 0 printed, 1 bad options, 2 the plug-in could not be loaded.\n"},
    {L"set",
     L"usage: devhost set NAME=VALUE...\n"
     L"Names: port, baud, parity, data, stop, flow, wait (or the stored keys PORT,\n"
     L"BAUDRATE, ...). A value is a choice's caption (any case), its value, or for\n"
     L"parity none/odd/even/mark/space and for flow none/hardware/xonxoff; wait is\n"
     L"whole seconds. A value not offered is refused and nothing is saved.\n"
     L"example: devhost set port=COM5 baud=115200 parity=none data=8 stop=1 flow=none wait=5\n"
     L"Exit status: 0 saved, 1 bad arguments, 2 the plug-in could not be loaded,\n"
     L"5 a value was refused (nothing saved), 6 the settings file could not be written.\n"},
    {L"receive",
     L"usage: devhost receive [--out FILE] [--capture FILE] [--text|--hex] [--send FILE|--say TEXT]...\n"
     L"One exchange with the saved settings until the plug-in ends it (no data for\n"
     L"longer than the wait time once data came), the device goes away, or Ctrl+C.\n"
     L"  --out FILE      every received byte, exactly as received\n"
     L"  --capture FILE  both directions with their times, as text\n"
     L"  --text | --hex  received data as it is (the default without --out) or as hex\n"
     L"  --send FILE     send the file's bytes, in the order given\n"
     L"  --say TEXT      send TEXT as UTF-8; \\r \\n \\t \\\\ and \\xHH are escapes\n"
     L"Exit status: 0 normal end, 1 bad options, 2 the plug-in failed, 3 the port\n"
     L"could not be opened, 4 not all bytes sent or stored, 7 the device went away.\n"},
    {L"term",
     L"usage: devhost term [--eol none|cr|lf|crlf] [--hex] [--timestamps] [--echo]\n"
     L"                    [--restart] [--capture FILE]\n"
     L"A console session with the saved settings: each line typed is sent on Enter,\n"
     L"what the instrument sends shows as it comes. Ctrl+C or Ctrl+] ends it.\n"
     L"  --eol E         the ending added to each line (default crlf; none with --hex)\n"
     L"  --hex           type bytes in hex (24 50 0d0a); received data as a hex dump\n"
     L"  --timestamps    each received block on a new line, with its time: [  12.345]\n"
     L"  --echo          show what was sent as well, its lines marked \"> \"\n"
     L"  --restart       start the next exchange when one ends; wait for a port that\n"
     L"                  went away, trying once a second\n"
     L"  --capture FILE  both directions with their times, as receive does\n"
     L"Piped input: the lines are sent in order, then term waits for the exchange's end.\n"
     L"Exit status: 0 ended, 1 bad options, 2 the plug-in failed, 3 the port could\n"
     L"not be opened, 4 the capture was not written whole, 7 the device went away.\n"},
    {L"doctor",
     L"usage: devhost doctor [PORT]\n"
     L"For field support: opens PORT (default: the stored port) and reports how its\n"
     L"driver answers the plug-in's calls, and what the plug-in's trace says it set\n"
     L"there, as plain text to paste into an e-mail. No instrument is needed, but\n"
     L"about 100 ms of NUL bytes go out; the driver's settings are put back.\n"
     L"Exit status: 0 reported, 1 bad options, 3 the port could not be opened or is\n"
     L"no serial port.\n"},
};

// Usage of one command, or of devhost as a whole for an empty name. False
// when there is no such command.
bool PrintHelp(const std::wstring& command) {
    for (const HelpText& help : kHelp) {
        if (command == help.command) {
            Print(stdout, std::wstring(help.text) + kCommonOptions);
            return true;
        }
    }
    return false;
}

}  // namespace
}  // namespace DevHost

int wmain(int argc, wchar_t** argv) {
    using namespace DevHost;
    PrepareConsoleOutput();
    CommandLine line;
    std::wstring error;
    if (!ParseCommandLine(std::vector<std::wstring>(argv + 1, argv + argc), line, error)) {
        Complain(error);
        return ExitUsage;
    }
    // Read always: it tells devhost why an exchange ended.
    CTraceReader trace(line.trace);
    if (line.trace && !trace.Problem().empty()) Complain(L"no trace: " + trace.Problem());
    if (line.help || line.command.empty()) {
        if (PrintHelp(line.command)) return line.help ? ExitOk : ExitUsage;
    } else if (line.command == L"info") {
        return RunInfo(line);
    } else if (line.command == L"settings") {
        return RunSettings(line);
    } else if (line.command == L"set") {
        return RunSet(line);
    } else if (line.command == L"receive") {
        return RunReceive(line);
    } else if (line.command == L"term") {
        return RunTerm(line);
    } else if (line.command == L"doctor") {
        return RunDoctor(line);
    }
    Complain(L"unknown command \"" + line.command + L"\"; devhost --help lists the commands");
    return ExitUsage;
}
