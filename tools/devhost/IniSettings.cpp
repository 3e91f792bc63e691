#include "IniSettings.h"
#include <cerrno>
#include <cwchar>
#include <new>
#include <vector>
#include "ConsoleOutput.h"
#include "settings/SettingsPersistence.h"

namespace DevHost {
namespace {

// Reads a value whole, however long: the profile function truncates
// silently to the buffer it is given.
std::wstring ReadProfileText(const std::wstring& path, const wchar_t* key, const wchar_t* defaultValue) {
    std::vector<wchar_t> buffer(256);
    for (;;) {
        DWORD size = static_cast<DWORD>(buffer.size());
        DWORD length = GetPrivateProfileStringW(kSettingsSection, key, defaultValue, buffer.data(), size,
                                                path.c_str());
        if (length + 1 < size) return std::wstring(buffer.data(), length);
        buffer.resize(buffer.size() * 2);
    }
}

bool ParseInt32(const std::wstring& text, int32_t& value) {
    if (text.empty()) return false;
    wchar_t* end = nullptr;
    errno = 0;
    long long parsed = std::wcstoll(text.c_str(), &end, 10);
    if (errno != 0 || *end != L'\0' || parsed < INT32_MIN || parsed > INT32_MAX) return false;
    value = static_cast<int32_t>(parsed);
    return true;
}

// The plug-in's own table of keys; its captions are the DLL's and read
// empty here, which nothing in devhost uses.
const Settings::DescriptorTable& Descriptors() {
    static const Settings::DescriptorTable table = [] {
        Settings::DescriptorTable filled;
        Settings::FillDescriptors(filled);
        return filled;
    }();
    return table;
}

// A stored value outside the table is shown as such rather than guessed at.
template <size_t N>
std::string Named(const char* const (&names)[N], int32_t value) {
    return value >= 0 && static_cast<size_t>(value) < N ? names[value] : "?" + std::to_string(value);
}

}  // namespace

std::wstring AbsoluteSettingsPath(const std::wstring& path) {
    DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0) return path;
    std::wstring full(size, L'\0');
    DWORD length = GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
    full.resize(length);
    return full;
}

BSTR CIniSettingsReader::ReadString(const wchar_t* key, const wchar_t* defaultValue) {
    std::wstring text = ReadProfileText(m_path, key, defaultValue ? defaultValue : L"");
    BSTR copy = SysAllocString(text.c_str());
    if (!copy) throw std::bad_alloc();
    return copy;
}

int32_t CIniSettingsReader::ReadInt(const wchar_t* key, int32_t defaultValue) {
    int32_t value = defaultValue;
    return ParseInt32(ReadProfileText(m_path, key, L""), value) ? value : defaultValue;
}

void CIniSettingsWriter::WriteString(const wchar_t* key, const wchar_t* value) {
    if (!WritePrivateProfileStringW(kSettingsSection, key, value ? value : L"", m_path.c_str())) m_failed = true;
}

void CIniSettingsWriter::WriteInt(const wchar_t* key, int32_t value) {
    wchar_t text[16];
    std::swprintf(text, 16, L"%d", value);
    WriteString(key, text);
}

bool HoldsSettings(const std::wstring& path) {
    wchar_t keys[16];
    return GetPrivateProfileStringW(kSettingsSection, nullptr, L"", keys, 16, path.c_str()) > 0;
}

Settings::PortSettings ReadStoredSettings(const std::wstring& settingsPath) {
    CIniSettingsReader reader(settingsPath);
    Settings::PortSettings stored;
    Settings::LoadPortSettings(reader, Descriptors(), stored);
    return stored;
}

std::wstring StoredPortName(const std::wstring& settingsPath) {
    const Settings::PortSettings stored = ReadStoredSettings(settingsPath);
    return std::wstring(stored.portName.begin(), stored.portName.end());
}

const wchar_t* StorageKeyOf(Settings::SettingId id) { return Descriptors().at(id).key.c_str(); }

std::string DescribeLineSettings(const Settings::PortSettings& settings) {
    static const char* const kParities[] = {"N", "O", "E", "M", "S"};
    static const char* const kStopBits[] = {"1", "1.5", "2"};
    return std::to_string(settings.line.BaudRate) + " baud " + std::to_string(settings.line.ByteSize) +
           Named(kParities, settings.line.Parity) + Named(kStopBits, settings.line.StopBits);
}

std::string DescribeSavedLine(const std::wstring& settingsPath) {
    static const char* const kFlows[] = {"none", "hardware", "xon/xoff"};
    const Settings::PortSettings stored = ReadStoredSettings(settingsPath);
    return ToUtf8(stored.portName) + ", " + DescribeLineSettings(stored) + ", flow " +
           Named(kFlows, stored.flowControl) + ", wait " + std::to_string(stored.waitTime) + " s";
}

}  // namespace DevHost
