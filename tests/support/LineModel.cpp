#include "LineModel.h"
#include <cstdio>

namespace LineModel {
namespace {

// Time is counted in ticks of 1 / (sent baud * read baud * 2) s, so that
// every bit edge of the sender and every half bit of the receiver fall on
// a whole tick.
struct Line {
    const std::vector<int>& levels;  // the sender's bits, one per sent bit time
    uint64_t sentBitTicks;  // of one half of the sender's bit time

    int At(uint64_t tick) const {
        const uint64_t bit = tick / sentBitTicks;
        return bit < levels.size() ? levels[bit] : 1;
    }
    uint64_t End() const { return levels.size() * sentBitTicks; }
};

int ParityBit(unsigned data, int dataBits, BYTE parity) {
    int ones = 0;
    for (int bit = 0; bit < dataBits; ++bit) ones += (data >> bit) & 1;
    switch (parity) {
        case ODDPARITY: return (ones & 1) ? 0 : 1;
        case EVENPARITY: return ones & 1;
        case MARKPARITY: return 1;
        default: return 0;
    }
}

// Half bit times of the stop bits: 1.5 stop bits are three halves.
int StopHalves(BYTE stopBits) { return stopBits == ONE5STOPBITS ? 3 : stopBits == TWOSTOPBITS ? 4 : 2; }

}  // namespace

bool ParseFraming(const std::string& text, Framing& framing) {
    unsigned long baud = 0;
    unsigned data = 0;
    char parity = 0;
    char stop[4] = "";
    if (std::sscanf(text.c_str(), "%lu %1u%c%3s", &baud, &data, &parity, stop) != 4 || baud == 0 || data < 5 ||
        data > 8) {
        return false;
    }
    const std::string parities = "NOEMS";
    const std::string stops = stop;
    const size_t parityCode = parities.find(parity);
    if (parityCode == std::string::npos || (stops != "1" && stops != "1.5" && stops != "2")) return false;
    framing = {baud, static_cast<BYTE>(data), static_cast<BYTE>(parityCode),
               static_cast<BYTE>(stops == "1" ? ONESTOPBIT : stops == "1.5" ? ONE5STOPBITS : TWOSTOPBITS)};
    return true;
}

Reading Read(const uint8_t* data, size_t count, const Framing& sent, const Framing& read) {
    // The sender's bits in half bit times, so that 1.5 stop bits fit.
    std::vector<int> halves = {1, 1};
    for (size_t i = 0; i < count; ++i) {
        std::vector<int> bits = {0};
        for (int bit = 0; bit < sent.dataBits; ++bit) bits.push_back((data[i] >> bit) & 1);
        if (sent.parity != NOPARITY) bits.push_back(ParityBit(data[i], sent.dataBits, sent.parity));
        for (const int bit : bits) halves.insert(halves.end(), 2, bit);
        halves.insert(halves.end(), StopHalves(sent.stopBits), 1);
    }
    halves.insert(halves.end(), 2, 1);
    const uint64_t readHalfTicks = sent.baudRate;       // one half of the reader's bit time
    const Line line{halves, uint64_t{read.baudRate}};
    const int frameBits = 1 + read.dataBits + (read.parity != NOPARITY ? 1 : 0);

    // The line changes only where a half bit of the sender begins.
    const auto nextChange = [&](uint64_t tick) { return (tick / line.sentBitTicks + 1) * line.sentBitTicks; };
    Reading reading;
    bool idle = false;  // a frame starts only where the line falls from idle
    for (uint64_t tick = 0; tick < line.End();) {
        if (line.At(tick) != 0 || !idle) {
            idle = idle || line.At(tick) != 0;
            tick = nextChange(tick);
            continue;
        }
        // A falling edge: the middle of each of the reader's bits from here.
        const uint64_t start = tick;
        const auto sample = [&](int bit) { return line.At(start + readHalfTicks * (2 * bit + 1)); };
        if (sample(0) != 0) {
            tick = nextChange(tick);
            continue;
        }
        unsigned value = 0;
        for (int bit = 0; bit < read.dataBits; ++bit) value |= static_cast<unsigned>(sample(1 + bit)) << bit;
        const bool parityWrong =
            read.parity != NOPARITY && sample(1 + read.dataBits) != ParityBit(value, read.dataBits, read.parity);
        const bool stopMissing = sample(frameBits) == 0;
        if (parityWrong) {
            ++reading.parityErrors;
            reading.errors |= CE_RXPARITY;
        }
        if (stopMissing) {
            ++reading.framingErrors;
            reading.errors |= CE_FRAME;
            if (value == 0 && !parityWrong) {
                ++reading.breaks;
                reading.errors |= CE_BREAK;
            }
        }
        reading.bytes.push_back(static_cast<uint8_t>(value));
        // The receiver hunts again from the middle of its stop bit.
        tick = start + readHalfTicks * (2 * frameBits + 1);
        idle = false;
    }
    return reading;
}

}  // namespace LineModel
