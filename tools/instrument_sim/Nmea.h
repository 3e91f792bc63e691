#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace Nmea {

// XOR of every character between '$' and '*'.
uint8_t Checksum(std::string_view body);

// "$" body "*HH" CR LF.
std::string Sentence(std::string_view body);

// A line without its CR LF: "$", a body, "*" and the body's checksum in two
// hex digits, nothing else.
bool IsIntact(std::string_view line);

// The body of an intact line (between '$' and '*').
std::string_view BodyOf(std::string_view line);

}  // namespace Nmea
