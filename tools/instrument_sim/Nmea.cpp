#include "Nmea.h"
#include <cstdio>

namespace Nmea {

uint8_t Checksum(std::string_view body) {
    uint8_t sum = 0;
    for (char c : body) sum ^= static_cast<uint8_t>(c);
    return sum;
}

std::string Sentence(std::string_view body) {
    char tail[8];
    std::snprintf(tail, sizeof tail, "*%02X\r\n", Checksum(body));
    return "$" + std::string(body) + tail;
}

bool IsIntact(std::string_view line) {
    if (line.size() < 4 || line.front() != '$' || line[line.size() - 3] != '*') return false;
    std::string_view body = BodyOf(line);
    for (char c : body) {
        if (c < 0x20 || c > 0x7e || c == '$' || c == '*') return false;
    }
    char expected[3];
    std::snprintf(expected, sizeof expected, "%02X", Checksum(body));
    std::string_view given = line.substr(line.size() - 2);
    return given == expected;
}

std::string_view BodyOf(std::string_view line) {
    return line.size() < 4 ? std::string_view() : line.substr(1, line.size() - 4);
}

}  // namespace Nmea
