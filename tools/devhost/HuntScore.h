#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace DevHost {

// What one try of a setting brought: the bytes that came after the port
// settled, and how often the driver said characters were garbled (the
// plug-in's traced totals of framing and parity errors and breaks).
struct TryEvidence {
    std::vector<uint8_t> bytes;
    unsigned garbledReports = 0;
    bool errorsKnown = true;  // false while the trace cannot be read
    int dataBits = 8;         // of the try: a 7-bit read cannot show the 8th bit
};

enum class Verdict {
    Silent,
    TooLittle,
    Convincing,      // sentences whose checksums hold, or clean lines of text, with no line error
    TextWithErrors,  // text that reads, though the driver says characters did not fit: the speed, another framing
    SevenBitsEven,   // read as 8 bits, the 8th is the even parity of the other seven
    SevenBitsOdd,
    CleanBinary,     // no line error, yet nothing devhost can read: no evidence either way
    Garbage,
};

struct TryScore {
    size_t bytes = 0;
    unsigned lineErrors = 0;
    double textShare = 0;  // printable characters and line ends, of all bytes
    unsigned lines = 0;
    unsigned sentencesRight = 0;  // NMEA 0183 sentences whose checksum holds
    unsigned sentencesWrong = 0;
    Verdict verdict = Verdict::Silent;
};

// Never convinced by the absence of line errors alone: a reader faster than
// the sender can see none, the idle line looking like stop bits.
TryScore ScoreTry(const TryEvidence& evidence);

// "convincing: 31 NMEA sentences, every checksum right"
std::wstring DescribeVerdict(const TryScore& score);

}  // namespace DevHost
