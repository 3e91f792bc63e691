#pragma once
#include <map>
#include <string>
#include "plugin_api/IDevImportPlugin.h"

// Stored settings as a host keeps them; a key that is absent answers its
// default. Starts out with the plug-in's end of the rig at 115200 baud and
// a wait time long enough never to end an exchange by itself.
class StoredSettings : public ISettingsReader {
public:
    StoredSettings();
    std::map<std::wstring, int32_t> ints;
    std::wstring port;

    BSTR ReadString(const wchar_t* key, const wchar_t* defaultValue) override;
    int32_t ReadInt(const wchar_t* key, int32_t defaultValue) override;
};

// A plug-in made as the host makes it, with its settings loaded and sink set.
Plugin::IDevImportPlugin* CreateLoadedPlugin(StoredSettings& settings, IDeviceEventSink* sink);

// A start is taken once the last exchange's final event has returned, a
// moment after the sink has seen it.
bool StartAfterTheLastEnd(Plugin::IDevImportPlugin* plugin);

// RELIABILITY_LONG=1 asks for the long versions of the runs.
bool LongRun();

// Runs one exchange on the rig to its end, once per process, and makes the
// calling thread's first wait on its message queue, so that what Wine and
// the runtime keep for good after their first use of a port or a queue is
// not counted as left behind by the exchanges under test.
void WarmUpTheRig();
