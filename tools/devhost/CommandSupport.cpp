#include "CommandSupport.h"
#include <cstdio>
#include <cwctype>
#include "ConsoleOutput.h"
#include "EndReasons.h"
#include "IniSettings.h"
#include "TraceReader.h"
#include "win32/UniqueBstr.h"

namespace DevHost {
namespace {

// The plug-in writes its trace line before it reports the end; the reader's
// thread takes it a moment later.
constexpr DWORD kTraceWaitMs = 500;

bool IsDeviceName(std::wstring name) {
    for (wchar_t& c : name) c = static_cast<wchar_t>(std::towupper(c));
    if (name == L"CON" || name == L"PRN" || name == L"AUX" || name == L"NUL") return true;
    return name.size() == 4 && (name.rfind(L"COM", 0) == 0 || name.rfind(L"LPT", 0) == 0) && name[3] >= L'1' &&
           name[3] <= L'9';
}

bool HoldsSettings(const std::wstring& path) {
    wchar_t keys[16];
    return GetPrivateProfileStringW(kSettingsSection, nullptr, L"", keys, 16, path.c_str()) > 0;
}

}  // namespace

void Complain(const std::wstring& text) {
    size_t start = 0;
    for (size_t end; (end = text.find(L'\n', start)) != std::wstring::npos; start = end + 1) {
        Print(stderr, L"devhost: " + text.substr(start, end - start) + L"\n");
    }
    Print(stderr, L"devhost: " + text.substr(start) + L"\n");
}

bool NoArguments(const CommandLine& line) {
    if (line.arguments.empty()) return true;
    Complain(line.command + L" takes no arguments or options of its own, not \"" + line.arguments.front() +
             L"\"; devhost " + line.command + L" --help tells more");
    return false;
}

void WarnIfDeviceName(const std::wstring& path) {
    const size_t folder = path.find_last_of(L"\\/:");
    const std::wstring name = folder == std::wstring::npos ? path : path.substr(folder + 1);
    const size_t dot = name.find(L'.');
    if (dot == std::wstring::npos || !IsDeviceName(name.substr(0, dot))) return;
    Complain(L"warning: Windows takes \"" + path + L"\" for the device " + name.substr(0, dot) +
             L", not a file (CON, PRN, AUX, NUL, COM1-COM9 and LPT1-LPT9 are devices whatever their extension)");
}

std::wstring Counted(uint64_t count, const wchar_t* noun) {
    return std::to_wstring(count) + L" " + noun + (count == 1 ? L"" : L"s");
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
    if (GetFileAttributesW(line.settingsPath.c_str()) == INVALID_FILE_ATTRIBUTES) {
        Complain(L"no settings file " + line.settingsPath + L": the plug-in's defaults apply");
    } else if (!HoldsSettings(line.settingsPath)) {
        Complain(line.settingsPath + L" holds no [" + kSettingsSection + L"] settings: the plug-in's defaults apply");
    }
    CIniSettingsReader reader(line.settingsPath);
    plugin->LoadSettings(&reader);
    return plugin;
}

std::wstring StoredPortName(const std::wstring& settingsPath) {
    Win32::UniqueBstr port(CIniSettingsReader(settingsPath).ReadString(L"PORT", L"COM1"));
    return port.Text();
}

std::wstring TracedEnd() {
    CTraceReader* trace = CTraceReader::Current();
    return trace ? trace->TakeEnd(kTraceWaitMs) : L"";
}

std::wstring WhyPortNotOpened(const CommandLine& line) {
    CTraceReader* trace = CTraceReader::Current();
    return ExplainPortNotOpened(StoredPortName(line.settingsPath), trace ? trace->TakeOpenFailure(kTraceWaitMs) : L"");
}

}  // namespace DevHost
