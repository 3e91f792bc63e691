#include <cstdio>
#include "CommandLine.h"
#include "ConsoleOutput.h"
#include "DoctorReport.h"
#include "StoredSettings.h"
#include "TraceExplained.h"

namespace DevHost {
namespace {

std::wstring SystemText() {
    using VersionCall = LONG(WINAPI*)(OSVERSIONINFOW*);
    using WineVersionCall = const char*(CDECL*)();
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    auto version = reinterpret_cast<VersionCall>(reinterpret_cast<void (*)()>(GetProcAddress(ntdll, "RtlGetVersion")));
    auto wine =
        reinterpret_cast<WineVersionCall>(reinterpret_cast<void (*)()>(GetProcAddress(ntdll, "wine_get_version")));
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    std::wstring text = L"Windows";
    if (version && version(&info) == 0) {
        text += L" " + std::to_wstring(info.dwMajorVersion) + L"." + std::to_wstring(info.dwMinorVersion) + L" build " +
                std::to_wstring(info.dwBuildNumber);
    }
    if (wine) text += L" (Wine " + FromUtf8(wine()) + L")";
    return text;
}

void PrintHeader(const std::wstring& port, const std::wstring& path, const CommandLine& line) {
    SYSTEMTIME now;
    GetSystemTime(&now);
    wchar_t date[32];
    std::swprintf(date, 32, L"%04u-%02u-%02u %02u:%02u UTC", now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute);
    Print(stdout, L"devhost doctor: " + port + L" (" + path + L"), " + date + L"\n" + L"system: " + SystemText() +
                      L"\nstored settings: " + DescribeStored(ReadStoredSettings(line.settingsPath)) + L" (" +
                      line.settingsPath + L")\n\n");
}

}  // namespace

int RunDoctor(const CommandLine& line) {
    if (line.arguments.size() > 1 || (!line.arguments.empty() && line.arguments[0].rfind(L'-', 0) == 0)) {
        Complain(L"doctor takes one port name at most; devhost doctor --help tells more");
        return ExitUsage;
    }
    const std::wstring port = line.arguments.empty() ? ReadStoredSettings(line.settingsPath).port : line.arguments[0];
    const std::wstring path = DevicePathOf(port);
    PrintHeader(port, path, line);
    const PortDevice device = FindPortDevice(port);
    const DriverState first = ReadDriverState(path);
    PluginObservations plugin;
    DriverObservations seen;
    if (first.Usable()) {
        plugin = ObservePlugin(line, port);
        seen = ObserveDriver(path, first);
    }
    const DoctorReport report = WriteDoctorReport(device, first, plugin, seen);
    Print(stdout, report.text);
    return report.portUsable ? ExitOk : ExitPortNotOpened;
}

}  // namespace DevHost
