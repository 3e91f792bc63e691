#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace DevHost {

// The process exit status of every command; scripts test for these.
enum ExitCode : int {
    ExitOk = 0,
    ExitUsage = 1,           // bad command line
    ExitPluginFailed = 2,    // the DLL could not be loaded or refused a call
    ExitPortNotOpened = 3,   // the plug-in reported that it could not open the port
    ExitIncomplete = 4,      // bytes were not all sent or not all stored
    ExitRejected = 5,        // `set` refused a value; the settings file is unchanged
    ExitSettingsFile = 6,    // the settings file could not be written
    ExitDeviceGone = 7,      // the device went away during the exchange (cable pulled, adapter unplugged)
};

// The settings file when --settings is not given: devhost.ini in the
// current folder, so each working folder keeps its own port set-up.
constexpr wchar_t kDefaultSettingsFile[] = L"devhost.ini";

// The options every command takes, wherever they stand, and the command's
// own arguments in their order.
struct CommandLine {
    std::wstring command;
    std::wstring dllPath;       // empty: DeviceCommon.dll next to devhost.exe
    std::wstring settingsPath;  // absolute
    bool help = false;
    bool trace = false;         // show the plug-in's trace on stderr
    std::vector<std::wstring> arguments;
};

bool ParseCommandLine(const std::vector<std::wstring>& words, CommandLine& line, std::wstring& error);

// The commands; each returns the process exit status.
int RunInfo(const CommandLine& line);
int RunSettings(const CommandLine& line);
int RunSet(const CommandLine& line);
int RunReceive(const CommandLine& line);
int RunTerm(const CommandLine& line);
int RunDoctor(const CommandLine& line);

// For the commands that take no arguments: false after refusing them.
bool NoArguments(const CommandLine& line);

// Windows opens CON, PRN, AUX, NUL, COM1-COM9 and LPT1-LPT9 as devices,
// with any extension and in any folder: "con.out" is the console, not a
// file. Says so when path is such a name with an extension, where a file
// was surely meant; a bare "nul" is left alone.
void WarnIfDeviceName(const std::wstring& path);

enum class DataDisplay { None, Text, Hex };

struct TransferSource {
    bool isFile;
    std::wstring value;  // a path, or --say text with its escapes
};

struct ReceiveOptions {
    std::wstring outPath;
    std::wstring capturePath;  // empty: no capture
    DataDisplay display = DataDisplay::None;
    std::vector<TransferSource> transfers;  // in the order given
};

// Without --text or --hex the data is shown as text unless it goes to a
// file, so a bare `devhost receive` shows what arrives.
bool ParseReceiveOptions(const std::vector<std::wstring>& arguments, ReceiveOptions& options, std::wstring& error);

struct TermOptions {
    std::string lineEnding = "\r\n";  // appended to every line typed
    bool hex = false;                 // lines typed are hex bytes; data shown as a hex dump
    bool timestamps = false;
    bool echo = false;
    bool restart = false;             // start the next exchange when the plug-in ends one
    std::wstring capturePath;         // empty: no capture
};

// --eol none|cr|lf|crlf; with --hex the line is the bytes typed, so nothing
// is appended unless --eol asks for it.
bool ParseTermOptions(const std::vector<std::wstring>& arguments, TermOptions& options, std::wstring& error);

// One `name=value` edit of `devhost set`.
struct SetRequest {
    int32_t id;
    std::wstring name;
    std::wstring value;
};

// Parses every argument or none: on the first bad one returns false with a
// message in error. A property named twice is refused, since one of the two
// values would be dropped silently.
bool ParseSetArguments(const std::vector<std::wstring>& arguments, std::vector<SetRequest>& requests,
                       std::wstring& error);

}  // namespace DevHost
