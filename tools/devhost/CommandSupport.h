#pragma once
#include <cstdint>
#include <string>
#include "CommandLine.h"
#include "PluginLoader.h"

namespace DevHost {

// "devhost: text" on stderr.
void Complain(const std::wstring& text);

// For the commands that take no arguments: false after refusing them.
bool NoArguments(const CommandLine& line);

// Windows opens CON, PRN, AUX, NUL, COM1-COM9 and LPT1-LPT9 as devices,
// with any extension and in any folder: "con.out" is the console, not a
// file. Says so when path is such a name with an extension, where a file
// was surely meant; a bare "nul" is left alone.
void WarnIfDeviceName(const std::wstring& path);

// "1 block", "2 blocks".
std::wstring Counted(uint64_t count, const wchar_t* noun);

// The plug-in of --dll, or null after saying why.
PluginPtr OpenPlugin(const CommandLine& line);

// Creates the plug-in and loads its settings from the settings file, as the
// application does before it shows the list or starts an exchange. A file
// that is missing or holds none of the plug-in's settings is said plainly:
// the plug-in then runs on its defaults.
PluginPtr OpenPluginWithSettings(const CommandLine& line);

// The port the settings file names, as the plug-in reads it.
std::wstring StoredPortName(const std::wstring& settingsPath);

// For CExchangeSink: what the plug-in's trace said of the exchange's end.
std::wstring TracedEnd();
// Why the port did not open: its name and what Windows said.
std::wstring WhyPortNotOpened(const CommandLine& line);

}  // namespace DevHost
