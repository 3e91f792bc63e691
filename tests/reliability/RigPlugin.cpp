#include "RigPlugin.h"
#include <windows.h>
#include "RecordingSink.h"
#include "RigPorts.h"
#include "plugin/CreatePlugin.h"

Fakes::CRecordingSettingsReader RigSettings() {
    Fakes::CRecordingSettingsReader settings;
    settings.strings[L"PORT"] = PluginPortName();
    settings.ints[L"BAUDRATE"] = 115200;
    settings.ints[L"WATETIME"] = 3600;
    return settings;
}

Plugin::IDevImportPlugin* CreateLoadedPlugin(ISettingsReader& settings, IDeviceEventSink* sink) {
    Plugin::IDevImportPlugin* plugin = CreatePlugin();
    plugin->LoadSettings(&settings);
    plugin->SetEventSink(sink);
    return plugin;
}

bool LongRun() {
    wchar_t value[8];
    DWORD length = GetEnvironmentVariableW(L"RELIABILITY_LONG", value, 8);
    return length == 1 && value[0] == L'1';
}

void WarmUpTheRig() {
    static bool done = false;
    if (done) return;
    done = true;
    // The plug-in's waits on the host's thread let sent messages through;
    // Wine opens a handle to the thread's message queue at its first such
    // wait and keeps it for the thread's life.
    MsgWaitForMultipleObjectsEx(0, nullptr, 0, QS_SENDMESSAGE, 0);
    Fakes::CRecordingSettingsReader settings = RigSettings();
    CRecordingSink sink{CRecordingSink::Keep::CountsOnly};
    Plugin::IDevImportPlugin* plugin = CreateLoadedPlugin(settings, &sink);
    if (plugin->StartExchange()) {
        sink.WaitFor(EventStarted, 5000);
        plugin->StopExchange();
        sink.WaitForEnds(1, 5000);
    }
    plugin->Release();
    Sleep(200);
}
