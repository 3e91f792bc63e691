#include "CommandSupport.h"
#include <cstdio>
#include "ConsoleOutput.h"
#include "IniSettings.h"

namespace DevHost {

void Complain(const std::wstring& text) {
    size_t start = 0;
    for (size_t end; (end = text.find(L'\n', start)) != std::wstring::npos; start = end + 1) {
        Print(stderr, L"devhost: " + text.substr(start, end - start) + L"\n");
    }
    Print(stderr, L"devhost: " + text.substr(start) + L"\n");
}

PluginPtr OpenPlugin(const CommandLine& line) {
    std::wstring error;
    PluginPtr plugin = LoadPlugin(line.dllPath.empty() ? DefaultPluginPath() : line.dllPath, error);
    if (!plugin) Complain(error);
    return plugin;
}

PluginPtr OpenPluginWithSettings(const CommandLine& line) {
    PluginPtr plugin = OpenPlugin(line);
    if (!plugin) return plugin;
    CIniSettingsReader reader(line.settingsPath);
    plugin->LoadSettings(&reader);
    return plugin;
}

}  // namespace DevHost
