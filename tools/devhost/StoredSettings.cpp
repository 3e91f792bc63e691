#include "StoredSettings.h"
#include "IniSettings.h"
#include "plugin_api/SharedConstants.h"
#include "win32/UniqueBstr.h"

namespace DevHost {
namespace {

// A stored value outside the table is shown as such rather than guessed at.
template <size_t N>
std::wstring Named(const wchar_t* const (&names)[N], int32_t value) {
    return value >= 0 && static_cast<size_t>(value) < N ? names[value] : L"?" + std::to_wstring(value);
}

}  // namespace

StoredSettings ReadStoredSettings(const std::wstring& settingsPath) {
    CIniSettingsReader reader(settingsPath);
    const Win32::UniqueBstr port(reader.ReadString(Shared::kPort.key, Shared::kDefaultPort));
    return {port.Text(),
            reader.ReadInt(Shared::kBaudRate.key, Shared::kDefaultBaudRate),
            reader.ReadInt(Shared::kParity.key, Shared::kDefaultParity),
            reader.ReadInt(Shared::kDataBits.key, Shared::kDefaultDataBits),
            reader.ReadInt(Shared::kStopBits.key, Shared::kDefaultStopBits),
            reader.ReadInt(Shared::kFlowControl.key, Shared::kFlowNone),
            reader.ReadInt(Shared::kWaitTime.key, Shared::kDefaultWaitSeconds)};
}

std::wstring DescribeLine(const StoredSettings& stored) {
    static const wchar_t* const kParities[] = {L"N", L"O", L"E", L"M", L"S"};
    static const wchar_t* const kStopBits[] = {L"1", L"1.5", L"2"};
    return std::to_wstring(stored.baudRate) + L" baud " + std::to_wstring(stored.dataBits) +
           Named(kParities, stored.parity) + Named(kStopBits, stored.stopBits);
}

std::wstring DescribeStored(const StoredSettings& stored) {
    static const wchar_t* const kFlows[] = {L"none", L"hardware", L"xon/xoff"};
    return stored.port + L", " + DescribeLine(stored) + L", flow " + Named(kFlows, stored.flowControl) + L", wait " +
           std::to_wstring(stored.waitSeconds) + L" s";
}

}  // namespace DevHost
