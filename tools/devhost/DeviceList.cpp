#include "DeviceList.h"
#include <initguid.h>
#include <devguid.h>
#include <devpkey.h>
#include <setupapi.h>
#include <cfgmgr32.h>
#include <cwchar>
#include "win32/UniqueRegKey.h"
#include "win32/UniqueHandle.h"

namespace DevHost {
namespace {

// A value of the type asked for (RRF_RT_REG_SZ ends it with NUL) from the device's own key,
// which holds its "Device Parameters" and stays while the device is not present.
bool ReadDeviceValue(HDEVINFO set, SP_DEVINFO_DATA& device, const wchar_t* name, DWORD type, void* value,
                     DWORD size) {
    const Win32::CUniqueRegKey key(SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ));
    return key.IsValid() && RegGetValueW(key.Get(), nullptr, name, type, nullptr, value, &size) == ERROR_SUCCESS;
}

// Text, or the first entry of a list (hardware ids, location paths); empty when absent.
std::wstring TextProperty(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property) {
    wchar_t text[512] = L"";
    SetupDiGetDeviceRegistryPropertyW(set, &device, property, nullptr, reinterpret_cast<BYTE*>(text),
                                      sizeof text - 2 * sizeof(wchar_t), nullptr);
    return text;
}

std::wstring ParentId(HDEVINFO set, SP_DEVINFO_DATA& device) {
    wchar_t id[512] = L"";
    DEVPROPTYPE type = 0;
    SetupDiGetDevicePropertyW(set, &device, &DEVPKEY_Device_Parent, &type, reinterpret_cast<BYTE*>(id),
                              sizeof id - sizeof(wchar_t), nullptr, 0);
    return id;
}

// Null when no device holds it; a present one before one that held it last.
const PortDevice* Holder(const DeviceList& list, const std::wstring& portName) {
    const PortDevice* holder = nullptr;
    for (const PortDevice& device : list.devices) {
        if (_wcsicmp(device.portName.c_str(), portName.c_str()) != 0) continue;
        if (!holder || device.present) holder = &device;
    }
    return holder;
}

}  // namespace

DeviceList ListPortDevices() {
    DeviceList list;
    DWORD listingError = ERROR_SUCCESS;
    for (const GUID& deviceClass : {GUID_DEVCLASS_PORTS, GUID_DEVCLASS_MODEM}) {
        // Without DIGCF_PRESENT the devices not present stay in. An HDEVINFO is a handle closed by its own function.
        const Win32::CUniqueHandle set(SetupDiGetClassDevsW(&deviceClass, nullptr, nullptr, 0),
                                      &SetupDiDestroyDeviceInfoList);
        if (!set.IsValid()) listingError = GetLastError();
        SP_DEVINFO_DATA device{};
        device.cbSize = sizeof device;
        for (DWORD index = 0; set.IsValid() && SetupDiEnumDeviceInfo(set.Get(), index, &device); ++index) {
            wchar_t name[64] = L"";
            if (!ReadDeviceValue(set.Get(), device, L"PortName", RRF_RT_REG_SZ, name, sizeof name)) continue;
            PortDevice port;
            port.portName = name;
            port.friendlyName = TextProperty(set.Get(), device, SPDRP_FRIENDLYNAME);
            port.hardwareId = TextProperty(set.Get(), device, SPDRP_HARDWAREID);
            port.parentId = ParentId(set.Get(), device);
            port.location = TextProperty(set.Get(), device, SPDRP_LOCATION_PATHS);
            if (port.location.empty()) port.location = TextProperty(set.Get(), device, SPDRP_LOCATION_INFORMATION);
            wchar_t instanceId[512] = L"";
            SetupDiGetDeviceInstanceIdW(set.Get(), &device, instanceId, 511, nullptr);
            port.instanceId = instanceId;
            // A device not present has no node in the device tree.
            ULONG status = 0;
            ULONG problem = 0;
            port.present = CM_Get_DevNode_Status(&status, &problem, device.DevInst, 0) == CR_SUCCESS;
            if (DWORD latency = 0;
                ReadDeviceValue(set.Get(), device, L"LatencyTimer", RRF_RT_REG_DWORD, &latency, sizeof latency)) {
                port.latencyMilliseconds = latency;
            }
            list.devices.push_back(std::move(port));
        }
    }
    if (!list.devices.empty()) return list;
    if (GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version")) {
        list.whyNone = L"under Wine, ports have no device entry";
    } else if (listingError != ERROR_SUCCESS) {
        list.whyNone = L"SetupAPI refused the listing, error " + std::to_wstring(listingError);
    }
    return list;
}

PortDevice FindPortDevice(const DeviceList& list, const std::wstring& portName) {
    const std::wstring name = portName.substr(portName.rfind(L'\\') + 1);
    const PortDevice* holder = Holder(list, name);
    if (holder && holder->present) return *holder;
    PortDevice none;
    none.portName = name;
    none.whyNone = list.whyNone.empty()
                       ? L" in the Ports or Modem class (some virtual ports' drivers list theirs elsewhere)"
                       : L" (" + list.whyNone + L")";
    return none;
}

std::wstring PortRow(const std::wstring& portName, const DeviceList& list) {
    const PortDevice* holder = Holder(list, portName);
    if (!holder) return portName + L": Windows names no device";
    return portName + L": " + DescribeDevice(*holder) + (holder->present ? L", present" : L", not present");
}

}  // namespace DevHost
