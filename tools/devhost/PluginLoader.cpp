#include "PluginLoader.h"
#include <windows.h>
#include "ConsoleOutput.h"
#include "SettingsFile.h"

namespace DevHost {

std::wstring PluginPath(const CommandLine& line) {
    if (!line.dllPath.empty()) return line.dllPath;
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring directory(path, length);
    return directory.substr(0, directory.find_last_of(L"\\/") + 1) + L"DeviceCommon.dll";
}

PluginPtr LoadPlugin(const CommandLine& line, std::wstring& error) {
    const std::wstring dllPath = PluginPath(line);
    using CreatePluginFn = Plugin::IDevImportPlugin* (*)();
    HMODULE module = LoadLibraryW(dllPath.c_str());
    if (!module) {
        error = L"cannot load " + dllPath + L" (error " + std::to_wstring(GetLastError()) + L")";
        return nullptr;
    }
    auto create = reinterpret_cast<CreatePluginFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(module, "CreatePlugin")));
    PluginPtr plugin(create ? create() : nullptr);
    if (!plugin) {
        FreeLibrary(module);
        error = create ? L"CreatePlugin returned no object" : dllPath + L" has no CreatePlugin export";
    }
    // cppcheck-suppress resourceLeak ; the plug-in's code is the module's: it stays loaded to the end
    return plugin;
}

PluginPtr OpenPlugin(const CommandLine& line) {
    std::wstring error;
    PluginPtr plugin = LoadPlugin(line, error);
    if (!plugin) Complain(error);
    return plugin;
}

PluginPtr OpenPluginWithSettings(const CommandLine& line) {
    PluginPtr plugin = OpenPlugin(line);
    if (!plugin) return plugin;
    wchar_t keys[16];
    if (GetFileAttributesW(line.settingsPath.c_str()) == INVALID_FILE_ATTRIBUTES) {
        Complain(L"no settings file " + line.settingsPath + L": the plug-in's defaults apply");
    } else if (GetPrivateProfileStringW(kSettingsSection, nullptr, L"", keys, 16, line.settingsPath.c_str()) == 0) {
        Complain(line.settingsPath + L" holds no [" + kSettingsSection + L"] settings: the plug-in's defaults apply");
    }
    CIniSettingsReader reader(line.settingsPath);
    plugin->LoadSettings(&reader);
    return plugin;
}

}  // namespace DevHost
