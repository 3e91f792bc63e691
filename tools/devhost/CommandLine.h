#pragma once
#include <string>
#include <utility>
#include <vector>

namespace DevHost {

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

}  // namespace DevHost
