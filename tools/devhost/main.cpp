// devhost: loads DeviceCommon.dll as the host application does and shows
// what the plug-in tells about itself.
#include <windows.h>
#include <oleauto.h>
#include <cstdio>
#include <cwchar>
#include <string>
#include "plugin_api/IDevImportPlugin.h"

namespace {

using CreatePluginFn = Plugin::IDevImportPlugin* (*)();

std::wstring ModuleDirectory() {
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring directory(path, length);
    return directory.substr(0, directory.find_last_of(L"\\/") + 1);
}

std::wstring VersionText(const std::wstring& path) {
    DWORD size = GetFileVersionInfoSizeW(path.c_str(), nullptr);
    std::wstring version = L"(none)";
    if (size == 0) return version;
    std::string block(size, '\0');
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (GetFileVersionInfoW(path.c_str(), 0, size, block.data()) &&
        VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) && fixed) {
        wchar_t text[64];
        std::swprintf(text, 64, L"%u.%u.%u.%u", HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
                      HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS));
        version = text;
    }
    return version;
}

void PrintField(const char* label, const std::wstring& text) {
    // The console may not be Unicode; UTF-8 keeps the Russian texts readable.
    int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(size > 0 ? size - 1 : 0, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, utf8.data(), size, nullptr, nullptr);
    std::printf("%-12s%s\n", label, utf8.c_str());
}

int Info(const std::wstring& dllPath) {
    HMODULE module = LoadLibraryW(dllPath.c_str());
    if (!module) {
        std::fwprintf(stderr, L"cannot load %ls (error %lu)\n", dllPath.c_str(), GetLastError());
        return 2;
    }
    auto create = reinterpret_cast<CreatePluginFn>(reinterpret_cast<void (*)()>(GetProcAddress(module, "CreatePlugin")));
    if (!create) {
        std::fwprintf(stderr, L"%ls has no CreatePlugin export\n", dllPath.c_str());
        return 2;
    }
    Plugin::IDevImportPlugin* plugin = create();
    BSTR name = plugin->GetName();
    GUID id = Plugin::PluginIdOf(*plugin);
    wchar_t idText[40];
    StringFromGUID2(id, idText, 40);

    PrintField("name", name);
    PrintField("identifier", idText);
    PrintField("version", VersionText(dllPath));
    PrintField("module", dllPath);
    SysFreeString(name);
    plugin->Release();
    FreeLibrary(module);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::wstring dll = ModuleDirectory() + L"DeviceCommon.dll";
    for (int i = 1; i < argc; ++i) {
        std::wstring arg = argv[i];
        if (arg == L"--dll" && i + 1 < argc) dll = argv[++i];
    }
    return Info(dll);
}
