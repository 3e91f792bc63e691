#include <string>
#include "Commands.h"
#include "ConsoleOutput.h"
#include "PluginLoader.h"
#include "win32/UniqueBstr.h"

namespace DevHost {

int RunInfo(const CommandLine& line) {
    if (!TakesAll(line, 0)) return ExitUsage;
    PluginPtr plugin = OpenPlugin(line);
    if (!plugin) return ExitPluginFailed;
    const std::wstring module = AbsolutePath(PluginPath(line));
    std::string block(GetFileVersionInfoSizeW(module.c_str(), nullptr), '\0');
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    std::wstring version = L"(none)";
    if (!block.empty() && GetFileVersionInfoW(module.c_str(), 0, static_cast<DWORD>(block.size()), block.data()) &&
        VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) && fixed) {
        const DWORD high = fixed->dwFileVersionMS;
        const DWORD low = fixed->dwFileVersionLS;
        version = std::to_wstring(HIWORD(high)) + L"." + std::to_wstring(LOWORD(high)) + L"." +
                  std::to_wstring(HIWORD(low)) + L"." + std::to_wstring(LOWORD(low));
    }
    const Win32::CUniqueBstr name(plugin->GetName());
    wchar_t id[40];
    StringFromGUID2(Plugin::PluginIdOf(*plugin), id, 40);
    Print(stdout, std::wstring(L"name        ") + name.Text() + L"\nidentifier  " + id + L"\nversion     " + version +
                      L"\nmodule      " + module + L"\n");
    return ExitOk;
}

}  // namespace DevHost
