#pragma once
#include <cstdint>
#include <map>
#include <string>

// What a recording of the instrument's output holds.
struct RecordingSummary {
    size_t bytes = 0;
    size_t sentences = 0;      // intact ones
    size_t damaged = 0;        // lines that are not intact sentences, a cut-off last line included
    std::map<std::string, size_t> byType;  // "GGA", "RMC", "PSIM", ...
    double durationSeconds = 0.0;  // from the first fix's time to the last's, plus one fix interval
};

RecordingSummary CheckRecording(const std::string& bytes);

// The summary as the demo prints it, with the rate against what a line at
// this baud rate carries (8N1: ten bits a byte); 0 when the rate is unknown.
std::string FormatSummary(const RecordingSummary& summary, unsigned long baud);
