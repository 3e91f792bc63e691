#include <windows.h>
#include <algorithm>
#include "Commands.h"
#include "ConsoleOutput.h"
#include "CtrlC.h"
#include "DeviceList.h"
#include "PluginLoader.h"
#include "PropertyView.h"

namespace DevHost {
namespace {

// An adapter's port appears a moment after it is plugged in.
constexpr DWORD kRereadMilliseconds = 1000;
constexpr DWORD kCtrlCStepMilliseconds = 50;

bool Holds(const std::vector<std::wstring>& ports, const std::wstring& port) {
    return std::find(ports.begin(), ports.end(), port) != ports.end();
}

// Then the devices not present, by the port each held last, which no longer
// takes them to the instrument.
std::wstring PortsText(const std::vector<std::wstring>& listed, const DeviceList& list) {
    std::wstring text = listed.empty() ? L"the plug-in lists no port\n"
                                       : L"the plug-in lists " + Counted(listed.size(), L"port") + L":\n";
    for (const std::wstring& port : listed) text += L"  " + PortRow(port, list) + L"\n";
    std::wstring absent;
    for (const PortDevice& device : list.devices) {
        if (!device.present && !Holds(listed, device.portName)) {
            absent += L"  " + device.portName + L": " + DescribeDevice(device) + L", not present\n";
        }
    }
    if (!absent.empty()) text += L"devices not present, by the port each held last:\n" + absent;
    if (!list.whyNone.empty()) text += L"Windows names no device for any port: " + list.whyNone + L"\n";
    return text;
}

// Only a port that was not there at the start is new: the adapter may be
// unplugged first, or plugged into another socket.
int AwaitNewPort(Plugin::IDevImportPlugin& plugin, const std::vector<std::wstring>& before) {
    std::wstring ports;
    for (const std::wstring& port : before) ports += (ports.empty() ? L"" : L", ") + port;
    Print(stdout, L"ports now: " + (ports.empty() ? L"none" : ports) +
                      L"\nplug the instrument's adapter in now (Ctrl+C ends the wait)\n");
    std::vector<std::wstring> added;
    const CCtrlCWatch ctrlC;
    while (added.empty() && !CCtrlCWatch::Asked()) {
        for (DWORD waited = 0; waited < kRereadMilliseconds && !CCtrlCWatch::Asked(); waited += kCtrlCStepMilliseconds)
            Sleep(kCtrlCStepMilliseconds);
        for (const std::wstring& port : PortsOffered(plugin)) {
            if (!Holds(before, port)) added.push_back(port);
        }
    }
    if (added.empty()) {
        Print(stdout, L"Ctrl+C: no new port came\n");
        return ExitNoNewPort;
    }
    const DeviceList list = ListPortDevices();
    std::wstring text;
    for (const std::wstring& port : added)
        text += L"new port " + PortRow(port, list) + L"\n    devhost set port=" + port + L"\n";
    Print(stdout, text);
    return ExitOk;
}

}  // namespace

int RunPorts(const CommandLine& line) {
    if (!TakesAll(line, 0)) return ExitUsage;
    PluginPtr plugin = OpenPlugin(line);
    if (!plugin) return ExitPluginFailed;
    const std::vector<std::wstring> listed = PortsOffered(*plugin);
    if (line.Has(L"--plug")) return AwaitNewPort(*plugin, listed);
    Print(stdout, PortsText(listed, ListPortDevices()));
    return ExitOk;
}

}  // namespace DevHost
