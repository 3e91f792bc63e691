#pragma once
#include <string>
#include "plugin_api/HostInterfaces.h"
#include "settings/PortSettings.h"
#include "settings/SettingsTables.h"

namespace DevHost {

// The INI section that holds the plug-in's keys.
constexpr wchar_t kSettingsSection[] = L"DeviceCommon";

// The profile functions look up a bare file name in the Windows folder, so
// every settings path is made absolute first.
std::wstring AbsoluteSettingsPath(const std::wstring& path);

// Reads the plug-in's keys from one section of an INI file.
class CIniSettingsReader final : public ISettingsReader {
public:
    explicit CIniSettingsReader(std::wstring path) : m_path(std::move(path)) {}

    // A key stored with an empty value reads as empty, not as the default:
    // only an absent key gives the default back.
    BSTR ReadString(const wchar_t* key, const wchar_t* defaultValue) override;
    // A value that is not a whole 32-bit number counts as absent.
    int32_t ReadInt(const wchar_t* key, int32_t defaultValue) override;

private:
    std::wstring m_path;
};

// Writes the plug-in's keys into one section of an INI file, creating it.
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

// Whether the file holds any key of the plug-in's section.
bool HoldsSettings(const std::wstring& path);

// The settings file as the plug-in reads it, with its own keys, defaults
// and conversions, so devhost shows and tries what an exchange will use.
Settings::PortSettings ReadStoredSettings(const std::wstring& settingsPath);
// The port the settings file names, as the plug-in reads it.
std::wstring StoredPortName(const std::wstring& settingsPath);
// The key under which the plug-in stores a setting.
const wchar_t* StorageKeyOf(Settings::SettingId id);

// "38400 baud 8N1": the speed and framing of the settings.
std::string DescribeLineSettings(const Settings::PortSettings& settings);
// "COM5, 38400 baud 8N1, flow none, wait 2 s": the saved settings as the
// exchange will use them, for a capture's header and doctor's.
std::string DescribeSavedLine(const std::wstring& settingsPath);

}  // namespace DevHost
