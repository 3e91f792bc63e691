// devhost: a console host for DeviceCommon.dll, for people checking a port
// and an instrument without the application, and for the end-to-end tests.
#include <cstdio>
#include <vector>
#include "Commands.h"
#include "ConsoleOutput.h"
#include "TraceReader.h"

namespace DevHost {
namespace {

constexpr wchar_t kCommonOptions[] =
    L"\nOptions of every command: --dll PATH (default: DeviceCommon.dll next to devhost.exe),\n"
    L"--settings FILE (default: devhost.ini here), --trace (the plug-in's trace on stderr), --help.\n"
    L"docs/devhost.md (the package's README.txt) tells all, exit statuses too.\n";

// Each command's usage and options in brief, the first devhost's own;
// docs/devhost.md (the package's README.txt) tells what they do.
struct Command {
    const wchar_t* name;
    const wchar_t* usage;
    int (*run)(const CommandLine& line);
};

constexpr Command kCommands[] = {
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
     L"  hunt [PORT]          find the speed and framing the instrument sends at\n"
     L"  ports [--plug]       the ports the plug-in lists, with their devices; --plug names a new one\n",
     nullptr},
    {L"info", L"usage: devhost info\n", RunInfo},
    {L"settings", L"usage: devhost settings\n", RunSettings},
    {L"set",
     L"usage: devhost set NAME=VALUE...\n"
     L"Names: port, baud, parity, data, stop, flow, wait (or the stored keys PORT, BAUDRATE, ...).\n"
     L"example: devhost set port=COM5 baud=115200 parity=none data=8 stop=1 flow=none wait=5\n",
     RunSet},
    {L"receive",
     L"usage: devhost receive [--out FILE] [--capture FILE] [--text|--hex] [--send FILE|--say TEXT]...\n"
     L"--say TEXT is sent as UTF-8; \\r \\n \\t \\\\ and \\xHH are escapes.\n",
     RunReceive},
    {L"term",
     L"usage: devhost term [--eol none|cr|lf|crlf] [--hex] [--timestamps] [--echo] [--restart] [--capture FILE]\n"
     L"Each line typed is sent on Enter; Ctrl+C or Ctrl+] ends the session.\n",
     RunTerm},
    {L"doctor",
     L"usage: devhost doctor [PORT]\n"
     L"About 100 ms of NUL bytes go out; the driver's settings are put back.\n",
     RunDoctor},
    {L"hunt",
     L"usage: devhost hunt [PORT] [--say TEXT] [--save]\n"
     L"Tries settings through the plug-in, one exchange each, until one reads convincingly;\n"
     L"--say sends TEXT at each try (to whatever listens), --save stores what was found.\n"
     L"Exit status 8: nothing convincing.\n",
     RunHunt},
    {L"ports",
     L"usage: devhost ports [--plug]\n"
     L"--plug waits for a port that was not there, naming it and the set line that stores it;\n"
     L"Ctrl+C ends the wait (exit status 9).\n",
     RunPorts},
};

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
    for (const Command& command : kCommands) {
        if (line.command != command.name) continue;
        if (!line.help && command.run) return command.run(line);
        Print(stdout, std::wstring(command.usage) + kCommonOptions);
        return line.help ? ExitOk : ExitUsage;
    }
    Complain(L"unknown command \"" + line.command + L"\"; devhost --help lists the commands");
    return ExitUsage;
}
