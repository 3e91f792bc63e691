#pragma once
#include <windows.h>
#include <string>
#include "CommandLine.h"

namespace DevHost {

// What devhost tells of an exchange's end from the plug-in's trace.
struct TracedEnding {
    std::wstring said;        // after "exchange ended: "; empty when nothing came
    std::wstring lineErrors;  // explained; empty when there were none
};

// Why an exchange ended, in the user's words, from what the trace said
// after "exchange ended: " (empty when it said nothing).
std::wstring ExplainEnd(const std::wstring& traced);
bool SaysDeviceGone(const std::wstring& traced);
// The traced totals ("overrun 1, input overflow 0, framing 3, parity 0,
// break 0") in the user's words, with the speed and framing of the settings
// ("38400 baud 8N1") that a framing or parity error calls into question.
std::wstring ExplainLineErrors(const std::wstring& traced, const std::wstring& lineSettings);

// For the exchange on the stored settings: what the trace said of its end,
// and why the port did not open, naming it and what Windows said.
TracedEnding TracedEnd(const CommandLine& line);
std::wstring WhyPortNotOpened(const CommandLine& line);

}  // namespace DevHost
