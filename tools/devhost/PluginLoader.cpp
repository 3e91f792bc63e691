#include "PluginLoader.h"
#include <windows.h>

namespace DevHost {

std::wstring DefaultPluginPath() {
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring directory(path, length);
    return directory.substr(0, directory.find_last_of(L"\\/") + 1) + L"DeviceCommon.dll";
}

PluginPtr LoadPlugin(const std::wstring& dllPath, std::wstring& error) {
    using CreatePluginFn = Plugin::IDevImportPlugin* (*)();
    HMODULE module = LoadLibraryW(dllPath.c_str());
    if (!module) {
        error = L"cannot load " + dllPath + L" (error " + std::to_wstring(GetLastError()) + L")";
        return nullptr;
    }
    auto create = reinterpret_cast<CreatePluginFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(module, "CreatePlugin")));
    if (!create) {
        FreeLibrary(module);
        error = dllPath + L" has no CreatePlugin export";
        return nullptr;
    }
    PluginPtr plugin(create());
    if (!plugin) {
        FreeLibrary(module);
        error = L"CreatePlugin returned no object";
    }
    // cppcheck-suppress resourceLeak ; the plug-in's code is the module's: it stays loaded to the end
    return plugin;
}

}  // namespace DevHost
