#pragma once
#include <string>
#include <vector>
#include "CommandLine.h"

namespace DevHost {

// What the loaded plug-in did on the port in one exchange that doctor
// starts and stops at once, as its trace said it: the line settings it
// applied or the driver refused, queues or time-outs refused, calls it
// goes on without. Only the trace tells: the events a host sees are the
// same whatever the driver took.
struct PluginObservations {
    std::wstring unknown;  // why nothing could be learnt; empty when the trace was read
    bool started = false;  // EventStarted came
    std::vector<std::wstring> lines;
};

PluginObservations ObservePlugin(const CommandLine& line, const std::wstring& port);

}  // namespace DevHost
