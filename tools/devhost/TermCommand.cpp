#include <memory>
#include <optional>
#include "Capture.h"
#include "CommandSupport.h"
#include "Commands.h"
#include "ConsoleLineEditor.h"
#include "ConsoleOutput.h"
#include "CtrlCStop.h"
#include "ExitCodes.h"
#include "InputQueue.h"
#include "LineDescription.h"
#include "StreamLineReader.h"
#include "TermDisplay.h"
#include "TermOptions.h"
#include "TermScreen.h"
#include "TermSession.h"
#include "TraceReader.h"

namespace DevHost {
namespace {

bool IsConsoleInput(HANDLE input) {
    DWORD mode = 0;
    return GetConsoleMode(input, &mode) != 0;
}

}  // namespace

int RunTerm(const CommandLine& line) {
    TermOptions options;
    std::wstring error;
    if (!ParseTermOptions(line.arguments, options, error)) {
        Complain(error);
        return ExitUsage;
    }
    Capture::CCaptureWriter capture;
    if (!options.capturePath.empty() &&
        !capture.Open(options.capturePath, "devhost term on " + DescribeSavedLine(line.settingsPath), error)) {
        Complain(error);
        return ExitUsage;
    }
    CTermScreen screen;
    CTermDisplay display(screen, options);
    auto input = std::make_shared<CInputQueue>();
    // Declared before the plug-in: the session holds the sinks and requests
    // the plug-in may use until it is destroyed.
    CTermSession session(line, options, screen, display, capture);
    PluginPtr plugin = OpenPluginWithSettings(line);
    if (!plugin) return ExitPluginFailed;
    CTraceReader* trace = CTraceReader::Current();
    if (trace) trace->ShowThrough([&display](const std::wstring& text) { display.TraceLine(text); });
    CCtrlCStop stopOnCtrlC(*plugin, false);
    HANDLE stdinHandle = GetStdHandle(STD_INPUT_HANDLE);
    std::optional<CConsoleLineEditor> editor;
    if (IsConsoleInput(stdinHandle)) {
        editor.emplace(stdinHandle, *input, [&screen](const std::wstring& typed) { screen.SetInput(typed); });
    } else {
        StartStreamLineReader(stdinHandle, input);
    }
    int status = session.Run(*plugin, *input, stopOnCtrlC);
    if (editor) {
        editor->Stop();
        if (!editor->UnsentLine().empty()) display.Notice(L"not sent, still being typed: \"" + editor->UnsentLine() + L"\"");
    }
    session.NoticeUnsent();
    if (trace) trace->ShowThrough({});
    screen.Close();
    if (status == ExitOk && !capture.Healthy()) {
        Complain(L"the capture file could not be written whole");
        status = ExitIncomplete;
    }
    Print(stderr, session.Totals() + L"\n");
    return status;
}

}  // namespace DevHost
