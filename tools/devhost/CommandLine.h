#pragma once
#include <string>
#include <utility>
#include <vector>

namespace DevHost {

// The process exit status of every command; scripts test for these.
enum ExitCode : int {
    ExitOk = 0,
    ExitUsage = 1,           // bad command line
    ExitPluginFailed = 2,    // the DLL could not be loaded or refused a call
    ExitPortNotOpened = 3,   // the plug-in reported that it could not open the port
    ExitIncomplete = 4,      // bytes were not all sent or not all stored
    ExitRejected = 5,        // `set` refused a value; the settings file is unchanged
    ExitSettingsFile = 6,    // the settings file could not be written
    ExitDeviceGone = 7,      // the device went away during the exchange (cable pulled, adapter unplugged)
    ExitNothingFound = 8,    // `hunt` found no setting convincing
    ExitNoNewPort = 9,       // `ports --plug` ended by Ctrl+C before a new port came
};

// The options every command takes, wherever they stand, the command's own
// options in their order, and its other arguments.
struct CommandLine {
    std::wstring command;
    std::wstring dllPath;       // empty: DeviceCommon.dll next to devhost.exe
    std::wstring settingsPath;  // absolute
    bool help = false;
    bool trace = false;         // show the plug-in's trace on stderr
    std::vector<std::pair<std::wstring, std::wstring>> options;  // each with its value, empty for a flag
    std::vector<std::wstring> arguments;

    bool Has(const wchar_t* option) const;
    // The value given last for the option; empty when it was not given.
    std::wstring Value(const wchar_t* option) const;
};

// False with the reason for an option that lacks its value. A value is
// never read as a command or as --help.
bool ParseCommandLine(const std::vector<std::wstring>& words, CommandLine& line, std::wstring& error);

// The profile functions look up a bare file name in the Windows folder, so
// the settings path is made absolute, and info shows the DLL's so.
std::wstring AbsolutePath(const std::wstring& path);

// Every command refuses what it does not know: false after saying so when an
// option is not the command's or more than mostArguments other words came.
bool TakesAll(const CommandLine& line, size_t mostArguments);

int RunInfo(const CommandLine& line);
int RunSettings(const CommandLine& line);
int RunSet(const CommandLine& line);
int RunReceive(const CommandLine& line);
int RunTerm(const CommandLine& line);
int RunDoctor(const CommandLine& line);
int RunHunt(const CommandLine& line);
int RunPorts(const CommandLine& line);

}  // namespace DevHost
