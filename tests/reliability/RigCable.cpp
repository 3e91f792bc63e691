#include "RigCable.h"
#include <windows.h>
#include "RigPorts.h"
#include "win32/DevicePath.h"
#include "win32/UniqueHandle.h"

namespace {

constexpr DWORD kPatience = 30000;

std::wstring Environment(const wchar_t* name) {
    wchar_t value[1024];
    DWORD length = GetEnvironmentVariableW(name, value, 1024);
    return length > 0 && length < 1024 ? std::wstring(value, length) : std::wstring();
}

// Wine starts a Unix program given by a Unix path and passes the command line
// on as its arguments; it gives no handle to wait on, so the caller polls the
// effect.
bool RunScript(const std::wstring& arguments) {
    std::wstring command = std::wstring(L"/bin/bash ") + NULLMODEM_SCRIPT + L" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(L"Z:\\bin\\bash", &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        return false;
    }
    Win32::CUniqueHandle thread(process.hThread), child(process.hProcess);
    return true;
}

// A pulled port still opens under Wine, as an empty device without a line.
bool PluginEndIsASerialPort() {
    Win32::CUniqueHandle port(CreateFileW(Win32::DevicePathFor(PluginPortName().c_str()).c_str(),
                                         GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    DCB line{};
    line.DCBlength = sizeof line;
    return port.IsValid() && GetCommState(port.Get(), &line) != FALSE;
}

bool Becomes(bool plugged) {
    const ULONGLONG deadline = GetTickCount64() + kPatience;
    while (GetTickCount64() < deadline) {
        if (PluginEndIsASerialPort() == plugged) return true;
        Sleep(50);
    }
    return false;
}

}  // namespace

namespace RigCable {

bool Available() { return !Environment(L"NULLMODEM_PREFIX").empty(); }

bool Pull() { return RunScript(L"stop " + Environment(L"NULLMODEM_PREFIX")) && Becomes(false); }

bool Plug() {
    // The script restarts a running cable too, which would pull it from
    // under the next test while this one already saw it working.
    if (PluginEndIsASerialPort()) return true;
    std::wstring ends = L" " + PluginPortName() + L" " + InstrumentPortName();
    return RunScript(L"start " + Environment(L"NULLMODEM_PREFIX") + ends) && Becomes(true);
}

}  // namespace RigCable
