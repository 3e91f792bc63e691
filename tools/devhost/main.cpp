// devhost: a console host for DeviceCommon.dll, for people checking a port
// and an instrument without the application, and for the end-to-end tests.
#include <cstdio>
#include <vector>
#include "CommandLine.h"
#include "ConsoleOutput.h"
#include "TraceReader.h"

namespace DevHost {
namespace {

constexpr wchar_t kCommonOptions[] =
    L"\nOptions of every command:\n"
    L"  --dll PATH        the plug-in DLL (default: DeviceCommon.dll next to devhost.exe)\n"
    L"  --settings FILE   the INI file of the settings, section [DeviceCommon]\n"
    L"                    (default: devhost.ini in the current folder)\n"
    L"  --trace           show the plug-in's trace (its debug output: the port\n"
    L"                    opened and its settings, why an exchange ended) on stderr\n"
    L"  --help            this text\n"
    L"An option a command does not know is refused (exit status 1).\n";

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
     L"  term [options]       a console session: type to the instrument, see its answers\n"
     L"  doctor [PORT]        how this machine's driver for the port answers the plug-in\n"
     L"devhost COMMAND --help tells more.\n"},
    {L"info",
     L"usage: devhost info\n"
     L"Prints the plug-in's name, identifier, version and the DLL's path.\n"
     L"Exit status: 0 printed, 1 bad options, 2 the plug-in could not be loaded.\n"},
    {L"settings",
     L"usage: devhost settings\n"
     L"Loads the settings file into the plug-in and prints its property list as the\n"
     L"application shows it: groups, properties with the name `set` takes in [],\n"
     L"every choice with its value in (), the selected one marked *. The port\n"
     L"property lists the serial ports found on this machine. A stored value that is\n"
     L"not offered shows as the selection, said as such: \"COM9 (not present)\",\n"
     L"\"31337 (not among the choices)\". A missing settings file is said: the\n"
     L"plug-in's defaults apply.\n"
     L"Exit status: 0 printed, 1 bad options, 2 the plug-in could not be loaded.\n"},
    {L"set",
     L"usage: devhost set NAME=VALUE...\n"
     L"Names: port, baud, parity, data, stop, flow, wait (or the stored keys PORT,\n"
     L"BAUDRATE, ...). A value is a choice's caption (any case), its value, or for\n"
     L"parity none/odd/even/mark/space and for flow none/hardware/xonxoff; wait is\n"
     L"whole seconds. A value that is not offered is refused, naming the valid\n"
     L"choices, and the settings file is left unchanged. The plug-in saves every\n"
     L"setting: a stored value not among the choices that is not set now is kept,\n"
     L"with a warning.\n"
     L"example: devhost set port=COM5 baud=115200 parity=none data=8 stop=1 flow=none wait=5\n"
     L"Exit status: 0 saved, 1 bad arguments, 2 the plug-in could not be loaded,\n"
     L"5 a value was refused (nothing saved), 6 the settings file could not be written.\n"},
    {L"receive",
     L"usage: devhost receive [--out FILE] [--capture FILE] [--text|--hex] [--send FILE|--say TEXT]...\n"
     L"Runs one exchange with the saved settings until the plug-in ends it (no data\n"
     L"for longer than the wait time once data came: an instrument that sends\n"
     L"nothing keeps it open), the device goes away, or Ctrl+C stops it.\n"
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
     L"The closing line says why the exchange ended; line errors the driver reported\n"
     L"(bytes lost or garbled) are said with the end.\n"
     L"Exit status: 0 normal end (quiet for the wait time, or Ctrl+C), 1 bad options,\n"
     L"2 the plug-in failed, 3 the port could not be opened (its name and what\n"
     L"Windows said are printed), 4 not all bytes sent or stored (--out or\n"
     L"--capture), 7 the device went away during the exchange (cable pulled,\n"
     L"adapter unplugged).\n"},
    {L"term",
     L"usage: devhost term [--eol none|cr|lf|crlf] [--hex] [--timestamps] [--echo]\n"
     L"                    [--restart] [--capture FILE]\n"
     L"A console session with the instrument through the plug-in, with the saved\n"
     L"settings: each line typed is sent when Enter is pressed, and what the\n"
     L"instrument sends shows as it comes. Ctrl+C or Ctrl+] ends the session.\n"
     L"  --eol E         the ending added to each line: none, cr, lf or crlf\n"
     L"                  (default crlf; none with --hex)\n"
     L"  --hex           type bytes in hex, spaces optional (24 50 0d0a); a line that\n"
     L"                  is not hex is refused and nothing is sent. Received data\n"
     L"                  shows as a hex dump\n"
     L"  --timestamps    start each received block on a new line, each of its lines\n"
     L"                  with its time since the session began: [  12.345]\n"
     L"  --echo          show what was sent as well, its lines marked \"> \"\n"
     L"  --restart       when the plug-in ends an exchange (no data for longer than\n"
     L"                  the wait time once data came), start the next one at once;\n"
     L"                  when the port goes away (adapter unplugged), wait for it to\n"
     L"                  return, trying once a second; without it term ends there\n"
     L"  --capture FILE  record both directions with their times, as receive does\n"
     L"Received text: CR, LF and CR LF each end a line, tab stays, other control\n"
     L"bytes and DEL show as <0x07>. At the bottom of a console: the line being typed\n"
     L"(Backspace deletes a character, Esc clears the line) and the status: bytes in\n"
     L"and out, the rate, the quiet time against the wait time. Each end of an\n"
     L"exchange is said with its reason and any line errors the driver reported;\n"
     L"when term ends, a line not sent (still being typed, or not gone out whole) is\n"
     L"said.\n"
     L"Input from a pipe or a file: the lines are sent in order; at its end term\n"
     L"waits until the exchange ends by itself (Ctrl+C stops it sooner) and does not\n"
     L"restart. Received data goes to stdout, notices in [] to stderr.\n"
     L"Exit status: 0 ended by Ctrl+C, Ctrl+] or the end of the exchange, 1 bad\n"
     L"options, 2 the plug-in failed, 3 the port could not be opened, 4 the capture\n"
     L"was not written whole, 7 the device went away (with --restart: and had not\n"
     L"returned when term ended).\n"},
    {L"doctor",
     L"usage: devhost doctor [PORT]\n"
     L"For field support: opens PORT (default: the port in the settings file) as the\n"
     L"plug-in does and reports how its driver answers the plug-in's calls, each line\n"
     L"with what the plug-in does about it: how Windows names the port (Device\n"
     L"Manager's name, USB VID and PID, Bluetooth incoming or outgoing, an FTDI\n"
     L"adapter's latency timer); how long the open takes; whether the driver takes\n"
     L"its own line record, one with equal XON/XOFF characters and the stored\n"
     L"settings; queues and time-outs; the status call and its line errors; whether\n"
     L"it counts queued output; whether a character wait completes without data; how\n"
     L"a read on an empty queue and the cancels end. Plain text, to paste into an\n"
     L"e-mail.\n"
     L"No instrument is needed, but about 100 ms of NUL bytes go out on the line. The\n"
     L"settings file is not changed; the driver's line record, event mask and\n"
     L"time-outs are put back at the end.\n"
     L"Exit status: 0 reported, 3 the port could not be opened or is no serial port,\n"
     L"1 bad options.\n"},
};

// Usage of one command, or of devhost as a whole for an empty name. False
// when there is no such command.
bool PrintHelp(const std::wstring& command) {
    for (const HelpText& help : kHelp) {
        if (command == help.command) {
            Print(stdout, std::wstring(help.text) + kCommonOptions);
            return true;
        }
    }
    return false;
}

}  // namespace
}  // namespace DevHost

int wmain(int argc, wchar_t** argv) {
    using namespace DevHost;
    PrepareConsoleOutput();
    CommandLine line;
    std::wstring error;
    if (!ParseCommandLine(std::vector<std::wstring>(argv + 1, argv + argc), line, error)) {
        Complain(error);
        return ExitUsage;
    }
    // Read always: it tells devhost why an exchange ended.
    CTraceReader trace(line.trace);
    if (line.trace && !trace.Problem().empty()) Complain(L"no trace: " + trace.Problem());
    if (line.help || line.command.empty()) {
        if (PrintHelp(line.command)) return line.help ? ExitOk : ExitUsage;
    } else if (line.command == L"info") {
        return RunInfo(line);
    } else if (line.command == L"settings") {
        return RunSettings(line);
    } else if (line.command == L"set") {
        return RunSet(line);
    } else if (line.command == L"receive") {
        return RunReceive(line);
    } else if (line.command == L"term") {
        return RunTerm(line);
    } else if (line.command == L"doctor") {
        return RunDoctor(line);
    }
    Complain(L"unknown command \"" + line.command + L"\"; devhost --help lists the commands");
    return ExitUsage;
}
