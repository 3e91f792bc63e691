#pragma once
#include <string>
#include <vector>

namespace DevHost {

// The settings file when --settings is not given: devhost.ini in the
// current folder, so each working folder keeps its own port set-up.
constexpr wchar_t kDefaultSettingsFile[] = L"devhost.ini";

// The options every command takes, wherever they stand, and the command's
// own arguments in their order.
struct CommandLine {
    std::wstring command;
    std::wstring dllPath;       // empty: DeviceCommon.dll next to devhost.exe
    std::wstring settingsPath;  // absolute
    bool help = false;
    bool trace = false;         // show the plug-in's trace on stderr
    std::vector<std::wstring> arguments;
};

bool ParseCommandLine(const std::vector<std::wstring>& words, CommandLine& line, std::wstring& error);

}  // namespace DevHost
