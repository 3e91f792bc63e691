#pragma once
#include <windows.h>
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>
#include "plugin_api/IDevImportPlugin.h"
#include "serial/SerialApi.h"

// Time stamps of the events the bench waits for; no copies of the data.
class CTimingSink : public IDeviceEventSink {
public:
    std::atomic<uint64_t> received{0};
    std::atomic<uint64_t> blocks{0};
    std::atomic<uint64_t> sent{0};
    std::atomic<int> started{0};
    std::atomic<int> stopped{0};
    std::atomic<int> requestsDone{0};
    std::atomic<double> lastReceived{0};
    std::atomic<double> lastStopped{0};
    std::atomic<double> startedAt{0};

    void OnEvent(int32_t code, const void*, uint32_t count) override;
    void OnRequestDone(ITransferRequest*) override { ++requestsDone; }
};

// The host's stored settings: the port, 115200 baud, an hour's wait time.
class CBenchSettings : public ISettingsReader {
public:
    explicit CBenchSettings(std::wstring port) : m_port(std::move(port)) {}
    BSTR ReadString(const wchar_t*, const wchar_t*) override { return SysAllocString(m_port.c_str()); }
    int32_t ReadInt(const wchar_t* key, int32_t defaultValue) override;

private:
    std::wstring m_port;
};

class CBenchRequest final : public ITransferRequest {
public:
    explicit CBenchRequest(size_t size) : bytes(size, 0xA5) {}
    std::vector<uint8_t> bytes;
    void HostSlot1() override {}
    void HostSlot2() override {}
    int32_t GetKind() override { return 4; }
    const uint8_t* GetData() override { return bytes.data(); }
    int32_t GetSize() override { return int32_t(bytes.size()); }
};

// The plug-in with an exchange running on a port; serial is the calls it
// makes on the device (the system's, or the profile's counting copy).
struct RunningPlugin {
    explicit RunningPlugin(const std::wstring& port, const Serial::SerialApi& serial = Serial::SerialApi::System());
    ~RunningPlugin();
    RunningPlugin(const RunningPlugin&) = delete;
    RunningPlugin& operator=(const RunningPlugin&) = delete;

    CTimingSink sink;
    CBenchSettings settings;
    Plugin::IDevImportPlugin* plugin;
    // When EventStarted came.
    double startedAt = 0;
};
