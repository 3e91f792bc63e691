#include "IniSettings.h"
#include <cerrno>
#include <cwchar>
#include <vector>
#include "plugin_api/HResultError.h"

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
    return Plugin::AllocBstrOrThrow(text.c_str());
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

}  // namespace DevHost
