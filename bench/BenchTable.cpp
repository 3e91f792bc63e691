#include "BenchTable.h"
#include <algorithm>
#include <cstdio>

namespace {

std::string Format(const char* format, double a, double b = 0, double c = 0) {
    char text[64];
    std::snprintf(text, sizeof text, format, a, b, c);
    return text;
}

// "median (lowest–highest)"
std::string Spread(const std::vector<double>& values) {
    const auto [lowest, highest] = std::minmax_element(values.begin(), values.end());
    return Format("%.2f (%.2f–%.2f)", Median(values), *lowest, *highest);
}

}  // namespace

double Percentile(std::vector<double> samples, double fraction) {
    if (samples.empty()) return 0;
    std::sort(samples.begin(), samples.end());
    return samples[std::min(samples.size() - 1, size_t(fraction * double(samples.size())))];
}

void CBenchTable::AddRow(const std::string& row) {
    std::printf("%s\n", row.c_str());
    std::fflush(stdout);
    m_rows.push_back(row);
}

void CBenchTable::Add(const Figure& figure) {
    std::vector<double> ratios;
    for (size_t run = 0; run < figure.plugin.size() && run < figure.baseline.size(); ++run) {
        ratios.push_back(figure.baseline[run] > 0 ? figure.plugin[run] / figure.baseline[run] : 0);
    }
    const double baselineMedian = Median(figure.baseline);
    const double ratio = baselineMedian > 0 ? Median(figure.plugin) / baselineMedian : 0;
    const auto [lowest, highest] = std::minmax_element(ratios.begin(), ratios.end());
    const bool met = figure.atLeast ? ratio >= figure.ratio && *lowest >= figure.ratio
                                    : ratio <= figure.ratio && *highest <= figure.ratio;
    AddRow("| " + figure.measure + " | " + Spread(figure.plugin) + " " + figure.unit + " | " +
           Spread(figure.baseline) + " " + figure.unit + " | " + Format("%.2f (%.2f–%.2f)", ratio, *lowest, *highest) +
           " | " + (figure.atLeast ? ">= " : "<= ") + Format("%.2f", figure.ratio) + " | " +
           (met ? "met" : "not met") + " |");
}

void CBenchTable::AddAbsolute(const std::string& measure, double value, const std::string& unit, double limit) {
    AddRow("| " + measure + " | " + Format("%.2f ", value) + unit + " | | | < " + Format("%.0f ", limit) + unit +
           " | " + (value < limit ? "met" : "not met") + " |");
}

void CBenchTable::Append(const char* path) const {
    FILE* file = std::fopen(path, "a");
    if (!file) return;
    for (const std::string& row : m_rows) std::fprintf(file, "%s\n", row.c_str());
    std::fclose(file);
}
