#pragma once
#include <windows.h>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// What a UART set to one speed and framing makes of characters that a
// sender framed at another: the line is modelled bit by bit, so a wrong
// speed garbles as on a real line, with the framing and parity errors a
// driver's ClearCommError would report, and reading faster than the sender
// can give garbage without a single framing error, the idle line looking
// like stop bits.
namespace LineModel {

struct Framing {
    DWORD baudRate = 9600;
    BYTE dataBits = 8;          // 5 to 8
    BYTE parity = NOPARITY;     // NOPARITY, ODDPARITY, EVENPARITY, MARKPARITY, SPACEPARITY
    BYTE stopBits = ONESTOPBIT; // ONESTOPBIT, ONE5STOPBITS, TWOSTOPBITS
};

// "38400 8N1", "4800 7E1", "9600 8O2": false for text of another form.
bool ParseFraming(const std::string& text, Framing& framing);

struct Reading {
    std::vector<uint8_t> bytes;  // every character the receiver framed, in order, garbled or not
    DWORD errors = 0;            // CE_FRAME, CE_RXPARITY and CE_BREAK, as the status call's error word gives them
    unsigned framingErrors = 0;  // characters whose stop bit was not there
    unsigned parityErrors = 0;   // characters whose parity bit did not match
    unsigned breaks = 0;         // characters read as all zero bits, stop bit included
};

// The characters sent back to back at `sent`, the line idle before and
// after them, as a receiver at `read` frames them. Sending and reading at
// the same setting gives the data back unchanged (7 and fewer data bits keep
// the low bits of each byte).
Reading Read(const uint8_t* data, size_t count, const Framing& sent, const Framing& read);

}  // namespace LineModel
