#include <cstdio>
#include <string>
#include "CommandLine.h"
#include "ConsoleOutput.h"
#include "PluginLoader.h"
#include "win32/UniqueBstr.h"

namespace DevHost {
namespace {

std::wstring VersionText(const std::wstring& path) {
    DWORD size = GetFileVersionInfoSizeW(path.c_str(), nullptr);
    if (size == 0) return L"(none)";
    std::string block(size, '\0');
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (!GetFileVersionInfoW(path.c_str(), 0, size, block.data()) ||
        !VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) || !fixed) {
        return L"(none)";
    }
    wchar_t text[64];
    std::swprintf(text, 64, L"%u.%u.%u.%u", HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
                  HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS));
    return text;
}

std::wstring FullPathOf(const std::wstring& path) {
    wchar_t full[MAX_PATH];
    DWORD length = GetFullPathNameW(path.c_str(), MAX_PATH, full, nullptr);
    return length > 0 && length < MAX_PATH ? std::wstring(full, length) : path;
}

void PrintField(const wchar_t* label, const std::wstring& text) {
    wchar_t padded[16];
    std::swprintf(padded, 16, L"%-12ls", label);
    Print(stdout, padded + text + L"\n");
}

}  // namespace

int RunInfo(const CommandLine& line) {
    if (!TakesAll(line, 0)) return ExitUsage;
    PluginPtr plugin = OpenPlugin(line);
    if (!plugin) return ExitPluginFailed;
    std::wstring dllPath = FullPathOf(line.dllPath.empty() ? DefaultPluginPath() : line.dllPath);
    Win32::CUniqueBstr name(plugin->GetName());
    wchar_t id[40];
    StringFromGUID2(Plugin::PluginIdOf(*plugin), id, 40);

    PrintField(L"name", name.Text());
    PrintField(L"identifier", id);
    PrintField(L"version", VersionText(dllPath));
    PrintField(L"module", dllPath);
    return ExitOk;
}

}  // namespace DevHost
