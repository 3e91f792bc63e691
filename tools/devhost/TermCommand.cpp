#include <memory>
#include <optional>
#include "Capture.h"
#include "CommandSupport.h"
#include "Commands.h"
#include "ConsoleLineEditor.h"
#include "ConsoleOutput.h"
#include "CtrlCStop.h"
#include "ExitCodes.h"
#include "IniSettings.h"
#include "InputQueue.h"
#include "LineDescription.h"
#include "StreamLineReader.h"
#include "TermDisplay.h"
#include "TermOptions.h"
#include "TermScreen.h"
#include "TermSession.h"

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
    int32_t waitSeconds = CIniSettingsReader(line.settingsPath).ReadInt(L"WATETIME", 10);
    CTermScreen screen;
    CTermDisplay display(screen, options);
    auto input = std::make_shared<CInputQueue>();
    // Declared before the plug-in: the session holds the sinks and requests
    // the plug-in may use until it is destroyed.
    CTermSession session(options, waitSeconds, screen, display, capture);
    PluginPtr plugin = OpenPluginWithSettings(line);
    if (!plugin) return ExitPluginFailed;
    CCtrlCStop stopOnCtrlC(*plugin, false);
    HANDLE stdinHandle = GetStdHandle(STD_INPUT_HANDLE);
    std::optional<CConsoleLineEditor> editor;
    if (IsConsoleInput(stdinHandle)) {
        editor.emplace(stdinHandle, *input, [&screen](const std::wstring& typed) { screen.SetInput(typed); });
    } else {
        StartStreamLineReader(stdinHandle, input);
    }
    int status = session.Run(*plugin, *input, stopOnCtrlC);
    editor.reset();
    screen.Close();
    if (status == ExitOk && !capture.Healthy()) {
        Complain(L"the capture file could not be written whole");
        status = ExitIncomplete;
    }
    Print(stderr, session.Totals() + L"\n");
    return status;
}

}  // namespace DevHost
