// devhost: a console host for DeviceCommon.dll, for people checking a port
// and an instrument without the application, and for the end-to-end tests.
#include <vector>
#include "CommandSupport.h"
#include "Commands.h"
#include "ConsoleOutput.h"
#include "ExitCodes.h"
#include "TraceReader.h"

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
