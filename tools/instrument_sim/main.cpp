// The instrument simulator: plays an instrument on a COM port so that a host
// can be tried without one. Runs on Windows against a real port pair as well
// as under Wine on the null-modem rig.
#include <windows.h>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>
#include "Checker.h"
#include "GnssReceiver.h"
#include "Replay.h"
#include "WholeFile.h"

namespace {

constexpr char kUsage[] =
    "usage: instrument_sim MODE ...\n"
    "The instrument simulator: plays an instrument on a COM port for a host.\n"
    "Modes:\n"
    "  instrument_sim gnss PORT [--baud N] [--seconds S] [--start-timeout S] [--stream]\n"
    "                           [--sent FILE] [--received FILE]\n"
    "      a GNSS receiver: waits for the host's first line, answers $PSIM,RATE,<1-20>\n"
    "      with $PSIM,ACK,RATE,<n>, sends GGA GSA RMC VTG fixes for S seconds\n"
    "      (default 4) paced as a line at N baud (default 9600) carries them, then\n"
    "      listens until the line is quiet for 1 s. --stream sends fixes from the\n"
    "      start, once a second, as a receiver does once powered. --sent and\n"
    "      --received log the bytes.\n"
    "  instrument_sim replay CAPTURE PORT [--baud N] [--speed N]\n"
    "      plays what the instrument sent in a capture (its \"in\" blocks, as devhost\n"
    "      --capture records them) onto PORT at N baud 8N1 (default 9600), each block\n"
    "      whole at its recorded time, N times as fast with --speed (default 1, may be\n"
    "      fractional); answers nothing. Prints what it played at the end.\n"
    "  instrument_sim check FILE [--baud N]\n"
    "      checks every sentence's checksum in a recording of the GNSS receiver and\n"
    "      prints a summary, with --baud the rate as a share of what the line carries;\n"
    "      exit status 0 only when every line is an intact sentence.\n"
    "instrument_sim replay --help tells more of replay.\n";

constexpr char kReplayUsage[] =
    "usage: instrument_sim replay CAPTURE PORT [--baud N] [--speed N]\n"
    "Plays an instrument again from a capture that devhost recorded with it\n"
    "(devhost receive --capture or term --capture), for a host listening on the\n"
    "other end of a null-modem pair (for example COM5 and COM6).\n"
    "  CAPTURE     the capture file: text, one line per block, \"in\" for what the\n"
    "              instrument sent; the host's \"out\" blocks are left out\n"
    "  PORT        the port to play on, e.g. COM6\n"
    "  --baud N    the line's speed, 8N1 (default 9600); the host's must match\n"
    "  --speed N   N times as fast as recorded (default 1; 0.5 plays at half speed)\n"
    "Each block goes out whole: the first at once, each later one at its recorded\n"
    "offset from the first, divided by the speed. Nothing is answered. At the end\n"
    "it prints the blocks and bytes played and the time taken. A broken capture\n"
    "is refused, naming the line at fault.\n"
    "Exit status: 0 played, 1 bad options or nothing to play, 2 the port could not\n"
    "be opened or written.\n";

int Usage() {
    std::fputs(kUsage, stderr);
    return 1;
}

bool AsksForHelp(const std::vector<std::wstring>& arguments) {
    for (const std::wstring& argument : arguments) {
        if (argument == L"--help" || argument == L"-h" || argument == L"/?") return true;
    }
    return false;
}

int Check(const wchar_t* path, unsigned long baud) {
    std::string bytes;
    if (!ReadWholeFile(path, bytes)) {
        std::fprintf(stderr, "cannot read %ls\n", path);
        return 1;
    }
    RecordingSummary summary = CheckRecording(bytes);
    std::fputs(FormatSummary(summary, baud).c_str(), stdout);
    return summary.damaged == 0 && summary.sentences > 0 ? 0 : 1;
}

int Replay(const std::vector<std::wstring>& arguments) {
    if (AsksForHelp(arguments)) {
        std::fputs(kReplayUsage, stdout);
        return 0;
    }
    ReplayOptions options;
    std::wstring error;
    if (!ParseReplayOptions(arguments, options, error)) {
        std::fprintf(stderr, "%ls\n", error.c_str());
        return Usage();
    }
    return RunReplay(options);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return Usage();
    std::wstring mode = argv[1];
    if (AsksForHelp({argv + 1, argv + 2})) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (mode == L"replay") return Replay({argv + 2, argv + argc});
    if (argc < 3) return Usage();
    GnssReceiverOptions options;
    options.port = argv[2];
    bool baudGiven = false;
    for (int i = 3; i < argc; ++i) {
        std::wstring option = argv[i];
        if (option == L"--stream") {
            options.streamAtOnce = true;
            continue;
        }
        if (i + 1 == argc) return Usage();
        const wchar_t* value = argv[++i];
        if (option == L"--baud") {
            options.baud = std::wcstoul(value, nullptr, 10);
            baudGiven = true;
        }
        else if (option == L"--seconds") options.streamSeconds = std::wcstod(value, nullptr);
        else if (option == L"--start-timeout") options.startTimeoutSeconds = std::wcstod(value, nullptr);
        else if (option == L"--sent") options.sentLog = value;
        else if (option == L"--received") options.receivedLog = value;
        else return Usage();
    }
    if (options.baud == 0) return Usage();
    // A recording does not tell the line's speed: only a given one is compared.
    if (mode == L"check") return Check(argv[2], baudGiven ? options.baud : 0);
    if (mode == L"gnss") return RunGnssReceiver(options);
    return Usage();
}
