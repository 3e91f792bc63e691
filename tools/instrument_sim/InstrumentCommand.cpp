#include "InstrumentCommand.h"
#include <cstdlib>
#include "Nmea.h"

std::string AnswerHostLine(const std::string& line, int& rate) {
    if (line.rfind("$PSIM", 0) != 0) return {};
    if (line.find('*') != std::string::npos && !Nmea::IsIntact(line)) return Nmea::Sentence("PSIM,NAK,CHECKSUM");
    std::string body(line.find('*') != std::string::npos ? Nmea::BodyOf(line) : std::string_view(line).substr(1));
    const std::string command = "PSIM,RATE,";
    if (body.rfind(command, 0) != 0) return Nmea::Sentence("PSIM,NAK,UNKNOWN");
    std::string value = body.substr(command.size());
    char* end = nullptr;
    long requested = std::strtol(value.c_str(), &end, 10);
    if (value.empty() || *end != '\0' || requested < 1 || requested > 20) return Nmea::Sentence("PSIM,NAK,RATE");
    rate = static_cast<int>(requested);
    return Nmea::Sentence("PSIM,ACK,RATE," + value);
}
