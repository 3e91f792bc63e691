#include "PluginProbe.h"
#include "ExchangeSink.h"
#include "IniSettings.h"
#include "PluginLoader.h"
#include "TraceReader.h"

namespace DevHost {
namespace {

// Long enough for the plug-in to open the port, a Bluetooth one included,
// and to end its exchange once stopped.
constexpr DWORD kStartWaitMs = 10000;
constexpr DWORD kEndWaitMs = 5000;

}  // namespace

PluginObservations ObservePlugin(const CommandLine& line, const std::wstring& port) {
    PluginObservations seen;
    CTraceReader* trace = CTraceReader::Current();
    if (!trace) {
        seen.unknown = L"the plug-in's trace cannot be read (another program reads the debug output)";
        return seen;
    }
    CExchangeSink sink([](const uint8_t*, size_t, uint64_t) {}, [](const std::wstring&) {}, {},
                       [&line] { return TracedEnd(line); });
    std::wstring error;
    PluginPtr plugin = LoadPlugin(line.dllPath.empty() ? DefaultPluginPath() : line.dllPath, error);
    if (!plugin) {
        seen.unknown = error;
        return seen;
    }
    CIniSettingsReader reader(line.settingsPath, port);
    plugin->LoadSettings(&reader);
    plugin->SetEventSink(&sink);
    trace->TakeLines();
    if (!plugin->StartExchange()) {
        seen.unknown = L"the plug-in refused to start an exchange";
        return seen;
    }
    for (ULONGLONG begun = GetTickCount64(); !sink.Report().started && !sink.WaitForEnd(10);) {
        if (GetTickCount64() - begun > kStartWaitMs) break;
    }
    plugin->StopExchange();
    sink.WaitForEnd(kEndWaitMs);
    seen.started = sink.Report().started;
    plugin.reset();
    seen.lines = trace->TakeLines();
    if (seen.lines.empty()) seen.unknown = L"the plug-in's trace said nothing of its exchange";
    return seen;
}

}  // namespace DevHost
