#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include "plugin_api/HostInterfaces.h"

namespace DevHost {

constexpr wchar_t kSettingsSection[] = L"DeviceCommon";

// The plug-in's keys in one section of an INI file, as the application keeps them.
class CIniSettingsReader final : public ISettingsReader {
public:
    // portInstead: answered for the port key when not empty, so that doctor
    // has the plug-in open the port it was given.
    explicit CIniSettingsReader(std::wstring path, std::wstring portInstead = {})
        : m_path(std::move(path)), m_portInstead(std::move(portInstead)) {}
    // Only an absent key gives the default: a key stored empty reads empty.
    BSTR ReadString(const wchar_t* key, const wchar_t* defaultValue) override;
    // A value that is not a whole 32-bit number counts as absent.
    int32_t ReadInt(const wchar_t* key, int32_t defaultValue) override;

private:
    std::wstring m_path;
    std::wstring m_portInstead;
};

class CIniSettingsWriter final : public ISettingsWriter {
public:
    explicit CIniSettingsWriter(std::wstring path) : m_path(std::move(path)) {}
    void WriteString(const wchar_t* key, const wchar_t* value) override;
    void WriteInt(const wchar_t* key, int32_t value) override;
    // The plug-in ignores the writer's results, so the host asks afterwards.
    bool Failed() const { return m_failed; }

private:
    std::wstring m_path;
    bool m_failed = false;
};

// A whole decimal number, no blanks.
bool ParseInt32(std::wstring_view text, int32_t& number);

// The settings file read with the plug-in's keys and defaults: what an
// exchange will open, at what speed and framing.
struct StoredSettings {
    std::wstring port;
    int32_t baudRate;
    int32_t parity;
    int32_t dataBits;
    int32_t stopBits;
    int32_t flowControl;
    int32_t waitSeconds;
};

StoredSettings ReadStoredSettings(const std::wstring& settingsPath);

// "38400 baud 8N1"
std::wstring DescribeLine(const StoredSettings& stored);
// "COM5, 38400 baud 8N1, flow none, wait 2 s"
std::wstring DescribeStored(const StoredSettings& stored);

}  // namespace DevHost
