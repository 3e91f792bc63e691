#pragma once
#include <cstdint>
#include <string>

namespace DevHost {

// The settings file read with the plug-in's keys and defaults
// (plugin_api/SharedConstants.h): what an exchange will open and at what
// speed and framing, for a capture's header, doctor's and the line errors.
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
