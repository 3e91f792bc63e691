#pragma once
#include <windows.h>
#include <string>
#include "SettingsFile.h"

// What the plug-in's trace says of an exchange's end, of its line errors and
// of a port that did not open, in the user's words.
namespace DevHost {

// The plug-in's totals of the status call's error word over one exchange: how many of its
// answers said each error.
struct LineErrorTotals {
    unsigned long overrun = 0;
    unsigned long inputOverflow = 0;
    unsigned long framing = 0;
    unsigned long parity = 0;
    unsigned long breaks = 0;
};

struct TracedEnding {
    std::wstring said;        // after "exchange ended: "; empty when nothing came
    std::wstring lineErrors;  // explained; empty when there were none
    LineErrorTotals totals;   // all 0 when there were none
};

// Why an exchange ended, in the user's words, from what the trace said after "exchange ended: ".
std::wstring ExplainEnd(const std::wstring& traced);
bool SaysDeviceGone(const std::wstring& traced);
// The traced totals ("overrun 1, input overflow 0, framing 3, parity 0, break 0"); false for a
// line in other words.
bool ReadLineErrorTotals(const std::wstring& traced, LineErrorTotals& totals);
// The traced totals ("overrun 1, input overflow 0, framing 3, parity 0, break 0") in the user's
// words, with the settings ("38400 baud 8N1") that a framing or parity error calls into question.
std::wstring ExplainLineErrors(const std::wstring& traced, const std::wstring& lineSettings);

// What follows the words in a trace line, empty when they are absent.
std::wstring TextAfter(const std::wstring& said, const std::wstring& words);

// For the exchange on the settings the plug-in loaded: what the trace said of its end, and why the port did not open.
TracedEnding TracedEnd(const StoredSettings& stored);
std::wstring WhyPortNotOpened(const StoredSettings& stored);

}  // namespace DevHost
