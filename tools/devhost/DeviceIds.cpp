#include "DeviceIds.h"
#include <algorithm>
#include <cwctype>
#include <regex>

namespace DevHost {
namespace {

std::wstring Capitals(std::wstring text) {
    std::transform(text.begin(), text.end(), text.begin(), [](wchar_t c) { return std::towupper(c); });
    return text;
}

// FTDI's driver puts the serial number after the PID
// (FTDIBUS\VID_0403+PID_6001+A50285BIA\0000), others make it the last part
// (USB\VID_0403&PID_6001\A50285BI). A part Windows made up joins its pieces
// with '&', so only letters, digits and '_' are a serial number.
std::wstring OwnSerial(const std::wstring& id, const DeviceIds& ids) {
    static const std::wregex kFtdi(LR"(FTDIBUS\\VID_([0-9A-F]{4})\+PID_([0-9A-F]{4})\+(\w+)\\.*)", std::regex::icase);
    static const std::wregex kUsb(LR"(USB\\VID_([0-9A-F]{4})&PID_([0-9A-F]{4})[^\\]*\\(\w+))", std::regex::icase);
    std::wsmatch found;
    if (!std::regex_match(id, found, kFtdi) && !std::regex_match(id, found, kUsb)) return L"";
    // A hub's own serial number is not the adapter's.
    return Capitals(found.str(1)) == ids.vid && Capitals(found.str(2)) == ids.pid ? found.str(3) : L"";
}

}  // namespace

DeviceIds ReadIds(const std::wstring& instanceId, const std::wstring& hardwareId, const std::wstring& parentId) {
    using Bus = DeviceIds::Bus;
    DeviceIds ids;
    // Hardware ids join VID_ and PID_ with '&', FTDI's instance ids with '+'.
    const std::wstring both = Capitals(instanceId + L" " + hardwareId);
    ids.enumerator = both.substr(0, both.find_first_of(L"\\ "));
    std::wsmatch found;
    if (ids.enumerator == L"BTHENUM") {
        // The instance id ends with the remote device's address, all zero
        // for an incoming port: ...\7&39BA7CFE&0&98DA600E1209_C00000000.
        const std::wstring instance = Capitals(instanceId);
        if (!std::regex_search(instance, found, std::wregex(LR"([\\&]([0-9A-F]{12})(_[^\\&]*)?$)"))) {
            ids.bus = Bus::Bluetooth;
        } else if (found.str(1) == L"000000000000") {
            ids.bus = Bus::BluetoothIncoming;
        } else {
            ids.bus = Bus::BluetoothOutgoing;
            ids.remote = std::regex_replace(found.str(1), std::wregex(L"(..)(?=.)"), L"$1:");
        }
    } else if (std::regex_search(both, found, std::wregex(L"VID_([0-9A-F]{4}).*PID_([0-9A-F]{4})"))) {
        ids.bus = Bus::Usb;
        ids.vid = found.str(1);
        ids.pid = found.str(2);
        ids.serial = OwnSerial(instanceId, ids);
        if (ids.serial.empty()) ids.serial = OwnSerial(parentId, ids);
    } else if (ids.enumerator == L"ACPI" && both.find(L"PNP050") != std::wstring::npos) {
        ids.bus = Bus::Computer;
    }
    return ids;
}

std::wstring BusText(const DeviceIds& ids) {
    switch (ids.bus) {
    case DeviceIds::Bus::Usb: return L"a USB adapter, VID " + ids.vid + L" PID " + ids.pid;
    case DeviceIds::Bus::BluetoothIncoming: return L"Bluetooth, incoming";
    case DeviceIds::Bus::BluetoothOutgoing: return L"Bluetooth, outgoing to " + ids.remote;
    case DeviceIds::Bus::Bluetooth: return L"Bluetooth, its id does not tell incoming from outgoing";
    case DeviceIds::Bus::Computer: return L"a port of the computer itself";
    case DeviceIds::Bus::Other: break;
    }
    return L"on " + (ids.enumerator.empty() ? std::wstring(L"an unnamed bus") : ids.enumerator);
}

}  // namespace DevHost
