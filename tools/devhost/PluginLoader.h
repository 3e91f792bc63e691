#pragma once
#include <memory>
#include <string>
#include "CommandLine.h"
#include "plugin_api/IDevImportPlugin.h"

namespace DevHost {

struct ReleasePlugin {
    void operator()(Plugin::IDevImportPlugin* plugin) const { plugin->Release(); }
};

// Holds the host's one reference on the plug-in object.
using PluginPtr = std::unique_ptr<Plugin::IDevImportPlugin, ReleasePlugin>;

// The DLL of --dll, or the one next to devhost.exe, where the build puts it.
std::wstring PluginPath(const CommandLine& line);

// Loads that DLL and creates the plug-in as the application does. On failure
// returns null and says why in error. The module stays loaded until the
// process ends: the plug-in's worker thread may still be leaving its code
// when the last reference goes.
PluginPtr LoadPlugin(const CommandLine& line, std::wstring& error);

// The plug-in of --dll, or null after saying why.
PluginPtr OpenPlugin(const CommandLine& line);

// Creates the plug-in and loads its settings from the settings file, as the
// application does before it shows the list or starts an exchange. A file
// that is missing or holds none of the plug-in's settings is said plainly:
// the plug-in then runs on its defaults.
PluginPtr OpenPluginWithSettings(const CommandLine& line);

}  // namespace DevHost
