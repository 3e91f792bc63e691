#pragma once
#include <string>
#include "CommandLine.h"
#include "PluginLoader.h"

namespace DevHost {

// "devhost: text" on stderr.
void Complain(const std::wstring& text);

// The plug-in of --dll, or null after saying why.
PluginPtr OpenPlugin(const CommandLine& line);

// Creates the plug-in and loads its settings from the settings file, as the
// application does before it shows the list or starts an exchange.
PluginPtr OpenPluginWithSettings(const CommandLine& line);

}  // namespace DevHost
