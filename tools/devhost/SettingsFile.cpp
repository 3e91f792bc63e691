#include "SettingsFile.h"
#include <cwchar>
#include "plugin_api/SharedConstants.h"
#include "win32/UniqueBstr.h"

namespace DevHost {
namespace {

// The profile function truncates silently to the buffer it is given.
std::wstring ReadProfileText(const std::wstring& path, const wchar_t* key, const wchar_t* defaultValue) {
    for (std::wstring buffer(256, L'\0');; buffer.resize(buffer.size() * 2)) {
        const DWORD size = static_cast<DWORD>(buffer.size());
        const DWORD length =
            GetPrivateProfileStringW(kSettingsSection, key, defaultValue, buffer.data(), size, path.c_str());
        if (length + 1 < size) return buffer.substr(0, length);
    }
}

// A stored value outside the table is shown as such rather than guessed at.
template <size_t N>
std::wstring Named(const wchar_t* const (&names)[N], int32_t value) {
    return value >= 0 && static_cast<size_t>(value) < N ? names[value] : L"?" + std::to_wstring(value);
}

}  // namespace

BSTR CIniSettingsReader::ReadString(const wchar_t* key, const wchar_t* defaultValue) {
    const bool port = !m_portInstead.empty() && key && std::wcscmp(key, Shared::kPort.key) == 0;
    const std::wstring value = port ? m_portInstead : ReadProfileText(m_path, key, defaultValue ? defaultValue : L"");
    return SysAllocString(value.c_str());
}

int32_t CIniSettingsReader::ReadInt(const wchar_t* key, int32_t defaultValue) {
    int32_t value = defaultValue;
    return ParseInt32(ReadProfileText(m_path, key, L""), value) ? value : defaultValue;
}

void CIniSettingsWriter::WriteString(const wchar_t* key, const wchar_t* value) {
    if (!WritePrivateProfileStringW(kSettingsSection, key, value ? value : L"", m_path.c_str())) m_failed = true;
}

void CIniSettingsWriter::WriteInt(const wchar_t* key, int32_t value) {
    WriteString(key, std::to_wstring(value).c_str());
}

bool ParseInt32(std::wstring_view text, int32_t& number) {
    const std::wstring_view digits = text.substr(!text.empty() && text.front() == L'-');
    if (digits.empty() || digits.size() > 10 || digits.find_first_not_of(L"0123456789") != std::wstring_view::npos) {
        return false;
    }
    const long long parsed = std::stoll(std::wstring(text));
    if (parsed > INT32_MAX || parsed < INT32_MIN) return false;
    number = static_cast<int32_t>(parsed);
    return true;
}

StoredSettings ReadStoredSettings(const std::wstring& settingsPath) {
    CIniSettingsReader reader(settingsPath);
    const Win32::CUniqueBstr port(reader.ReadString(Shared::kPort.key, Shared::kDefaultPort));
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
