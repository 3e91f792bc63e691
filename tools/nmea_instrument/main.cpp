// A simulated GNSS receiver on a COM port, for the demo and the end-to-end
// tests, and a checker of what a host recorded from it. Runs on Windows
// against a real port pair as well as under Wine on the null-modem rig.
#include <windows.h>
#include <cstdio>
#include <cwchar>
#include <string>
#include "Checker.h"
#include "Instrument.h"

namespace {

constexpr char kUsage[] =
    "usage: nmea_instrument run PORT [--baud N] [--seconds S] [--start-timeout S]\n"
    "                           [--sent FILE] [--received FILE]\n"
    "         waits for the host's first line, answers $PSIM,RATE,<1-20> with\n"
    "         $PSIM,ACK,RATE,<n>, sends GGA GSA RMC VTG fixes for S seconds (default 4)\n"
    "         paced as a line at N baud (default 9600) carries them, then listens\n"
    "         until the line is quiet for 1 s. --sent and --received log the bytes.\n"
    "       nmea_instrument check FILE [--baud N]\n"
    "         checks every sentence's checksum in FILE and prints a summary;\n"
    "         exit status 0 only when every line is an intact sentence.\n";

int Usage() {
    std::fputs(kUsage, stderr);
    return 1;
}

bool ReadWholeFile(const wchar_t* path, std::string& bytes) {
    std::FILE* file = _wfopen(path, L"rb");
    if (!file) return false;
    char buffer[65536];
    for (size_t read; (read = std::fread(buffer, 1, sizeof buffer, file)) > 0;) bytes.append(buffer, read);
    std::fclose(file);
    return true;
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

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) return Usage();
    std::wstring command = argv[1];
    InstrumentOptions options;
    options.port = argv[2];
    for (int i = 3; i + 1 < argc; i += 2) {
        std::wstring option = argv[i];
        const wchar_t* value = argv[i + 1];
        if (option == L"--baud") options.baud = std::wcstoul(value, nullptr, 10);
        else if (option == L"--seconds") options.streamSeconds = std::wcstod(value, nullptr);
        else if (option == L"--start-timeout") options.startTimeoutSeconds = std::wcstod(value, nullptr);
        else if (option == L"--sent") options.sentLog = value;
        else if (option == L"--received") options.receivedLog = value;
        else return Usage();
    }
    if (argc % 2 == 0 || options.baud == 0) return Usage();
    if (command == L"check") return Check(argv[2], options.baud);
    if (command == L"run") return RunInstrument(options);
    return Usage();
}
