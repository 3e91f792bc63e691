#include "Checker.h"
#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>
#include "Nmea.h"

namespace {

std::string TypeOf(std::string_view body) {
    std::string_view name = body.substr(0, body.find(','));
    if (!name.empty() && name.front() == 'P') return std::string(name.substr(0, 4));
    return std::string(name.size() > 2 ? name.substr(2) : name);
}

// Seconds of the day from a GGA body's time field hhmmss.ss.
bool GgaTime(std::string_view body, double& seconds) {
    size_t comma = body.find(',');
    if (comma == std::string_view::npos) return false;
    std::string field(body.substr(comma + 1, body.find(',', comma + 1) - comma - 1));
    if (field.size() < 6) return false;
    seconds = std::atoi(field.substr(0, 2).c_str()) * 3600 + std::atoi(field.substr(2, 2).c_str()) * 60 +
              std::atof(field.substr(4).c_str());
    return true;
}

double Duration(std::vector<double> times) {
    if (times.size() < 2) return 0.0;
    std::vector<double> gaps;
    for (size_t i = 1; i < times.size(); ++i) {
        double gap = times[i] - times[i - 1];
        gaps.push_back(gap < 0 ? gap + 86400.0 : gap);  // past midnight
    }
    double span = 0.0;
    for (double gap : gaps) span += gap;
    std::nth_element(gaps.begin(), gaps.begin() + static_cast<std::ptrdiff_t>(gaps.size() / 2), gaps.end());
    return span + gaps[gaps.size() / 2];
}

}  // namespace

RecordingSummary CheckRecording(const std::string& bytes) {
    RecordingSummary summary;
    summary.bytes = bytes.size();
    std::vector<double> fixTimes;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        bool complete = end != std::string::npos;
        std::string_view line(bytes.data() + start, (complete ? end : bytes.size()) - start);
        start = complete ? end + 1 : bytes.size();
        if (!complete || line.empty() || line.back() != '\r' || !Nmea::IsIntact(line.substr(0, line.size() - 1))) {
            ++summary.damaged;
            continue;
        }
        std::string_view body = Nmea::BodyOf(line.substr(0, line.size() - 1));
        ++summary.sentences;
        ++summary.byType[TypeOf(body)];
        double seconds = 0.0;
        if (TypeOf(body) == "GGA" && GgaTime(body, seconds)) fixTimes.push_back(seconds);
    }
    summary.durationSeconds = Duration(fixTimes);
    return summary;
}

std::string FormatSummary(const RecordingSummary& summary, unsigned long baud) {
    char text[512];
    std::string types;
    for (const auto& [type, count] : summary.byType) {
        types += (types.empty() ? "" : ", ") + type + " " + std::to_string(count);
    }
    double limit = baud / 10.0;
    double rate = summary.durationSeconds > 0 ? summary.bytes / summary.durationSeconds : 0.0;
    bool intact = summary.damaged == 0 && summary.sentences > 0;
    char share[128] = "";
    if (baud > 0) {
        std::snprintf(share, sizeof share, " of the %.0f B/s a line at %lu baud 8N1 carries (%.0f %%)", limit, baud,
                      100.0 * rate / limit);
    }
    std::snprintf(text, sizeof text,
                  "sentences received  %zu (%s)\n"
                  "bytes received      %zu\n"
                  "duration            %.1f s (by the fixes' own time stamps)\n"
                  "rate                %.0f B/s%s\n"
                  "intact              %s\n",
                  summary.sentences, types.c_str(), summary.bytes, summary.durationSeconds, rate, share,
                  intact ? "yes, every sentence's checksum is right"
                         : (std::to_string(summary.damaged) + " damaged or cut-off lines").c_str());
    return text;
}
