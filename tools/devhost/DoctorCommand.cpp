#include <cstdio>
#include "CommandSupport.h"
#include "Commands.h"
#include "ConsoleOutput.h"
#include "DoctorReport.h"
#include "ExitCodes.h"
#include "IniSettings.h"
#include "LineDescription.h"
#include "Utf8.h"
#include "serial/DevicePath.h"
#include "settings/PortSettings.h"
#include "win32/UniqueBstr.h"

namespace DevHost {
namespace {

StoredLine ReadStoredLine(const std::wstring& settingsPath, std::wstring& port) {
    CIniSettingsReader reader(settingsPath);
    Win32::UniqueBstr storedPort(reader.ReadString(L"PORT", L"COM1"));
    port = storedPort.Text();
    StoredLine line;
    line.baudRate = static_cast<DWORD>(reader.ReadInt(L"BAUDRATE", 9600));
    line.byteSize = Settings::LowByte(reader.ReadInt(L"BYTESIZE", 8));
    line.parity = Settings::LowByte(reader.ReadInt(L"PARITY", NOPARITY));
    line.stopBits = Settings::LowByte(reader.ReadInt(L"STOPBITS", ONESTOPBIT));
    line.flowControl = reader.ReadInt(L"FLOWCONTROL", Settings::FlowNone);
    return line;
}

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
                      L"\nstored settings: " + FromUtf8(DescribeSavedLine(line.settingsPath)) + L" (" +
                      line.settingsPath + L")\n\n");
}

}  // namespace

int RunDoctor(const CommandLine& line) {
    if (line.arguments.size() > 1 || (!line.arguments.empty() && line.arguments[0].rfind(L'-', 0) == 0)) {
        Complain(L"doctor takes one port name at most; devhost doctor --help tells more");
        return ExitUsage;
    }
    std::wstring port;
    const StoredLine stored = ReadStoredLine(line.settingsPath, port);
    if (!line.arguments.empty()) port = line.arguments[0];
    const std::wstring path(DevicePathFor(port.c_str()));
    PrintHeader(port, path, line);

    const DoctorReport report = WriteDoctorReport(ObserveDriver(path, stored));
    Print(stdout, report.text);
    return report.portUsable ? ExitOk : ExitPortNotOpened;
}

}  // namespace DevHost
