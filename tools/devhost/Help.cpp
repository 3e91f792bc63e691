#include <cstdio>
#include "Commands.h"
#include "ConsoleOutput.h"

namespace DevHost {
namespace {

constexpr wchar_t kCommonOptions[] =
    L"\nOptions of every command:\n"
    L"  --dll PATH        the plug-in DLL (default: DeviceCommon.dll next to devhost.exe)\n"
    L"  --settings FILE   the INI file of the settings, section [DeviceCommon]\n"
    L"                    (default: devhost.ini in the current folder)\n"
    L"  --trace           show the plug-in's trace (its debug output: the port\n"
    L"                    opened and its settings, why an exchange ended) on stderr\n"
    L"  --help            this text\n";

struct HelpText {
    const wchar_t* command;
    const wchar_t* text;
};

constexpr HelpText kHelp[] = {
    {L"",
     L"usage: devhost COMMAND [options]\n"
     L"A console host for DeviceCommon.dll: loads it as the application does.\n\n"
     L"Commands:\n"
     L"  info                 name, identifier, version and path of the plug-in\n"
     L"  settings             the plug-in's settings list with every choice\n"
     L"  set NAME=VALUE...    change settings through the plug-in and save them\n"
     L"  receive [options]    run one exchange with the instrument\n"
     L"devhost COMMAND --help tells more.\n"},
    {L"info", L"usage: devhost info\nPrints the plug-in's name, identifier, version and the DLL's path.\n"},
    {L"settings",
     L"usage: devhost settings\n"
     L"Loads the settings file into the plug-in and prints its property list as the\n"
     L"application shows it: groups, properties with the name `set` takes in [],\n"
     L"every choice with its value in (), the selected one marked *. The port\n"
     L"property lists the serial ports found on this machine.\n"},
    {L"set",
     L"usage: devhost set NAME=VALUE...\n"
     L"Names: port, baud, parity, data, stop, flow, wait (or the stored keys PORT,\n"
     L"BAUDRATE, ...). A value is a choice's caption (any case), its value, or for\n"
     L"parity none/odd/even/mark/space and for flow none/hardware/xonxoff; wait is\n"
     L"whole seconds. A value that is not offered is refused, naming the valid\n"
     L"choices, and the settings file is left unchanged.\n"
     L"example: devhost set port=COM5 baud=115200 parity=none data=8 stop=1 flow=none wait=5\n"},
    {L"receive",
     L"usage: devhost receive [--out FILE] [--capture FILE] [--text|--hex] [--send FILE|--say TEXT]...\n"
     L"Runs one exchange with the saved settings until the plug-in ends it (no data\n"
     L"for longer than the wait time once data came) or Ctrl+C stops it.\n"
     L"  --out FILE      write every received byte to FILE exactly as received\n"
     L"  --capture FILE  record every received block and every sent chunk with\n"
     L"                  its time, as text: one line each, milliseconds since the\n"
     L"                  start, in or out, the bytes in hex\n"
     L"  --text          show received data as it is (the default without --out)\n"
     L"  --hex           show received data as a hex dump with stream offsets\n"
     L"  --send FILE     send the file's bytes to the instrument\n"
     L"  --say TEXT      send TEXT as UTF-8; \\r \\n \\t \\\\ and \\xHH are escapes\n"
     L"Transfers are sent in the order given. On a console a status line on stderr\n"
     L"shows bytes in and out, the rate and the quiet time against the wait time.\n"
     L"Exit status: 0 normal end, 3 the port could not be opened, 4 not all bytes\n"
     L"sent or stored (--out or --capture), 1 bad options, 2 the plug-in failed.\n"},
};

}  // namespace

bool PrintHelp(const std::wstring& command) {
    for (const HelpText& help : kHelp) {
        if (command == help.command) {
            Print(stdout, std::wstring(help.text) + kCommonOptions);
            return true;
        }
    }
    return false;
}

}  // namespace DevHost
