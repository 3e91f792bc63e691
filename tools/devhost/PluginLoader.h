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

// Creates the plug-in as the application does, or null with why in error.
// The module stays loaded until the process ends: the plug-in's worker
// thread may still be leaving its code when the last reference goes.
PluginPtr LoadPlugin(const CommandLine& line, std::wstring& error);

// The plug-in of --dll, or null after saying why.
PluginPtr OpenPlugin(const CommandLine& line);

// Then loads the settings file into it, as the application does before it
// shows the list or starts an exchange; says so when the defaults apply.
PluginPtr OpenPluginWithSettings(const CommandLine& line);

}  // namespace DevHost
