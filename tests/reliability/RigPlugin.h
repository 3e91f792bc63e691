#pragma once
#include "RecordingSettings.h"
#include "RigTest.h"
#include "plugin_api/IDevImportPlugin.h"

// Stored settings with the plug-in's end of the rig at 115200 baud and a
// wait time long enough never to end an exchange by itself.
Fakes::CRecordingSettingsReader RigSettings();

// A plug-in made as the host makes it, with its settings loaded and sink set.
Plugin::IDevImportPlugin* CreateLoadedPlugin(ISettingsReader& settings, IDeviceEventSink* sink);

// RELIABILITY_LONG=1 asks for the long versions of the runs.
bool LongRun();

// Runs one exchange on the rig to its end, once per process, and makes the
// calling thread's first wait on its message queue, so that what Wine and
// the runtime keep for good after their first use of a port or a queue is
// not counted as left behind by the exchanges under test.
void WarmUpTheRig();
