#include "BenchPlugin.h"
#include "BenchClock.h"
#include "plugin/DeviceCommonPlugin.h"

void CTimingSink::OnEvent(int32_t code, const void*, uint32_t count) {
    const double now = Now();
    switch (code) {
    case EventStarted:
        startedAt = now;
        ++started;
        break;
    case EventStopped:
        lastStopped = now;
        ++stopped;
        break;
    case EventDataReceived:
        received += count;
        ++blocks;
        lastReceived = now;
        break;
    case EventDataSent: sent += count; break;
    default: break;
    }
}

int32_t CBenchSettings::ReadInt(const wchar_t* key, int32_t defaultValue) {
    if (std::wstring(key) == L"BAUDRATE") return 115200;
    if (std::wstring(key) == L"WATETIME") return 3600;
    return defaultValue;
}

RunningPlugin::RunningPlugin(const std::wstring& port, const Serial::SerialApi& serial)
    : settings(port), plugin(Plugin::CDeviceCommonPlugin::Create(Settings::Win32Ports(), serial)) {
    plugin->LoadSettings(&settings);
    plugin->SetEventSink(&sink);
    plugin->StartExchange();
    WaitUntil([&] { return sink.started == 1; });
    startedAt = sink.startedAt;
}

RunningPlugin::~RunningPlugin() {
    plugin->StopExchange();
    WaitUntil([&] { return sink.stopped == 1; });
    plugin->Release();
}
