#include "PortDevice.h"
#include <initguid.h>
#include <devguid.h>
#include <setupapi.h>
#include <algorithm>
#include <cwchar>
#include <cwctype>
#include <regex>
#include "win32/UniqueRegKey.h"

namespace DevHost {
namespace {

constexpr wchar_t kIncomingBluetooth[] = L"Bluetooth, incoming";

// A value of the type asked for (RRF_RT_REG_SZ ends it with NUL) from the device's own key,
// which holds its "Device Parameters".
bool ReadDeviceValue(HDEVINFO set, SP_DEVINFO_DATA& device, const wchar_t* name, DWORD type, void* value,
                     DWORD size) {
    const Win32::CUniqueRegKey key(SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ));
    return key.IsValid() && RegGetValueW(key.Get(), nullptr, name, type, nullptr, value, &size) == ERROR_SUCCESS;
}

// Text, or the first entry of a list (the hardware ids); empty when absent.
std::wstring TextProperty(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property) {
    wchar_t text[512] = L"";
    SetupDiGetDeviceRegistryPropertyW(set, &device, property, nullptr, reinterpret_cast<BYTE*>(text),
                                      sizeof text - 2 * sizeof(wchar_t), nullptr);
    return text;
}

// Hardware ids join VID_ and PID_ with '&', FTDI's instance ids with '+'.
std::wstring BusText(const std::wstring& instanceId, const std::wstring& hardwareId) {
    std::wstring ids = instanceId + L" " + hardwareId;
    std::transform(ids.begin(), ids.end(), ids.begin(), [](wchar_t c) { return std::towupper(c); });
    const std::wstring enumerator = ids.substr(0, ids.find_first_of(L"\\ "));
    std::wsmatch found;
    if (enumerator == L"BTHENUM") {
        // The instance id ends with the remote device's address, all zero
        // for an incoming port: ...\7&39BA7CFE&0&98DA600E1209_C00000000.
        if (!std::regex_search(instanceId, found, std::wregex(LR"([\\&]([0-9A-Fa-f]{12})(_[^\\&]*)?$)"))) {
            return L"Bluetooth, its id does not tell incoming from outgoing";
        }
        if (found.str(1) == L"000000000000") return kIncomingBluetooth;
        return L"Bluetooth, outgoing to " + std::regex_replace(found.str(1), std::wregex(L"(..)(?=.)"), L"$1:");
    }
    if (std::regex_search(ids, found, std::wregex(L"VID_([0-9A-F]{4}).*PID_([0-9A-F]{4})"))) {
        return L"a USB adapter, VID " + found.str(1) + L" PID " + found.str(2);
    }
    if (enumerator == L"ACPI" && ids.find(L"PNP050") != std::wstring::npos) return L"a port of the computer itself";
    return L"on " + (enumerator.empty() ? std::wstring(L"an unnamed bus") : enumerator);
}

}  // namespace

std::wstring DevicePathOf(const std::wstring& portName) {
    return !portName.empty() && portName[0] == L'\\' ? portName : L"\\\\.\\" + portName;
}

DWORD OpenSerialPort(const std::wstring& path, Win32::CUniqueHandle& port, DCB& record) {
    port.Reset(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED,
                           nullptr));
    record.DCBlength = sizeof record;
    return port.IsValid() && GetCommState(port.Get(), &record) ? ERROR_SUCCESS : GetLastError();
}

PortDevice FindPortDevice(const std::wstring& portName) {
    PortDevice port;
    port.portName = portName.substr(portName.rfind(L'\\') + 1);
    DWORD listingError = ERROR_SUCCESS;
    for (const GUID& deviceClass : {GUID_DEVCLASS_PORTS, GUID_DEVCLASS_MODEM}) {
        // An HDEVINFO is a handle closed by its own function.
        const Win32::CUniqueHandle list(SetupDiGetClassDevsW(&deviceClass, nullptr, nullptr, DIGCF_PRESENT),
                                       &SetupDiDestroyDeviceInfoList);
        if (!list.IsValid()) listingError = GetLastError();
        SP_DEVINFO_DATA device{};
        device.cbSize = sizeof device;
        for (DWORD index = 0; list.IsValid() && SetupDiEnumDeviceInfo(list.Get(), index, &device); ++index) {
            wchar_t name[64] = L"";
            if (!ReadDeviceValue(list.Get(), device, L"PortName", RRF_RT_REG_SZ, name, sizeof name)) continue;
            if (_wcsicmp(name, port.portName.c_str()) != 0) continue;
            port.friendlyName = TextProperty(list.Get(), device, SPDRP_FRIENDLYNAME);
            port.hardwareId = TextProperty(list.Get(), device, SPDRP_HARDWAREID);
            wchar_t instanceId[512] = L"";
            SetupDiGetDeviceInstanceIdW(list.Get(), &device, instanceId, 511, nullptr);
            port.instanceId = instanceId;
            if (DWORD ms = 0; ReadDeviceValue(list.Get(), device, L"LatencyTimer", RRF_RT_REG_DWORD, &ms, sizeof ms)) {
                port.latencyMs = ms;
            }
            return port;
        }
    }
    const bool wine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    port.whyNone = wine ? L" (under Wine, ports have no device entry)"
                   : listingError != ERROR_SUCCESS
                       ? L" (SetupAPI refused the listing, error " + std::to_wstring(listingError) + L")"
                       : L" in the Ports or Modem class (some virtual ports' drivers list theirs elsewhere)";
    return port;
}

std::wstring DeviceRows(const PortDevice& device) {
    if (!device.whyNone.empty()) {
        return L"device: Windows names no device for " + device.portName + device.whyNone + L"\n";
    }
    const std::wstring name = device.friendlyName.empty() ? L"no friendly name" : device.friendlyName;
    const std::wstring bus = BusText(device.instanceId, device.hardwareId);
    std::wstring rows = L"device: " + name + L", " + bus + L" (" + device.instanceId + L")\n";
    if (bus == kIncomingBluetooth) {
        rows += L"    an incoming Bluetooth port never brings data from an instrument that waits to be called: the "
                L"host must use the outgoing port\n";
    }
    // FTDI's driver holds an answer shorter than its buffer until the timer runs out.
    if (!device.latencyMs && _wcsnicmp(device.instanceId.c_str(), L"FTDIBUS\\", 8) != 0) return rows;
    const std::wstring ms = std::to_wstring(device.latencyMs.value_or(16)) + L" ms";
    return rows + L"latency timer (Device Parameters, LatencyTimer): " +
           (device.latencyMs ? ms : L"not set, so the driver's default of " + ms) +
           L"\n    an answer shorter than the adapter's buffer waits up to " + ms +
           L" before the adapter sends it on; Device Manager changes it in the port's advanced port settings\n";
}

}  // namespace DevHost
