#pragma once
#include <string>
#include <vector>

// A figure measured in interleaved runs (plug-in, baseline, plug-in, ...):
// each run's value for both, in the order taken.
struct Figure {
    std::string measure;
    std::string unit;
    std::vector<double> plugin;
    std::vector<double> baseline;
    // The target is on plug-in / baseline: at least `ratio` (a rate) or at
    // most `ratio` (a time or a cost).
    bool atLeast;
    double ratio;
};

double Percentile(std::vector<double> samples, double fraction);
inline double Median(std::vector<double> samples) { return Percentile(std::move(samples), 0.5); }

// The rows of the bench's Markdown table. A figure with a baseline gives
// the median and spread (lowest to highest) of both sides, the ratio of the
// medians and the spread of the per-run ratios (each plug-in run over the
// baseline run right after it). It is met only when the ratio of medians
// and every per-run ratio meet the target: a spread that crosses the target
// is not met.
class CBenchTable {
public:
    void Add(const Figure& figure);
    // A figure without a baseline, met when below its limit.
    void AddAbsolute(const std::string& measure, double value, const std::string& unit, double limit);
    // Appends the rows to the Markdown file at path.
    void Append(const char* path) const;

private:
    void AddRow(const std::string& row);
    std::vector<std::string> m_rows;
};
