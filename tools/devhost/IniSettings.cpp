#include "IniSettings.h"
#include <cwchar>
#include <vector>
#include "PropertyNames.h"
#include "plugin_api/SharedConstants.h"

namespace DevHost {
namespace {

// The profile function truncates silently to the buffer it is given.
std::wstring ReadProfileText(const std::wstring& path, const wchar_t* key, const wchar_t* defaultValue) {
    std::vector<wchar_t> buffer(256);
    for (;;) {
        const DWORD size = static_cast<DWORD>(buffer.size());
        const DWORD length =
            GetPrivateProfileStringW(kSettingsSection, key, defaultValue, buffer.data(), size, path.c_str());
        if (length + 1 < size) return std::wstring(buffer.data(), length);
        buffer.resize(buffer.size() * 2);
    }
}

}  // namespace

std::wstring AbsoluteSettingsPath(const std::wstring& path) {
    const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0) return path;
    std::wstring full(size, L'\0');
    full.resize(GetFullPathNameW(path.c_str(), size, full.data(), nullptr));
    return full;
}

BSTR CIniSettingsReader::ReadString(const wchar_t* key, const wchar_t* defaultValue) {
    if (!m_portInstead.empty() && key && std::wcscmp(key, Shared::kPort.key) == 0) {
        return SysAllocString(m_portInstead.c_str());
    }
    return SysAllocString(ReadProfileText(m_path, key, defaultValue ? defaultValue : L"").c_str());
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

bool HoldsSettings(const std::wstring& path) {
    wchar_t keys[16];
    return GetPrivateProfileStringW(kSettingsSection, nullptr, L"", keys, 16, path.c_str()) > 0;
}

}  // namespace DevHost
