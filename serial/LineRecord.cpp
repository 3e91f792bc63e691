#include "serial/LineRecord.h"
#include <algorithm>

namespace Serial {

DCB LineRecord::ForDriver(const DCB& driversOwn, const DCB& wanted) {
    DCB line = driversOwn;
    line.DCBlength = sizeof(DCB);
    line.BaudRate = wanted.BaudRate;
    line.ByteSize = wanted.ByteSize;
    line.Parity = wanted.Parity;
    line.StopBits = wanted.StopBits;
    line.fParity = wanted.Parity != NOPARITY;
    // Bytes pass through unchanged: none dropped (also not while DSR is
    // low), replaced or ending the I/O.
    line.fBinary = TRUE;
    line.fNull = FALSE;
    line.fDsrSensitivity = FALSE;
    line.fErrorChar = FALSE;
    line.fAbortOnError = FALSE;
    line.fOutxCtsFlow = wanted.fOutxCtsFlow;
    line.fOutxDsrFlow = wanted.fOutxDsrFlow;
    line.fDtrControl = wanted.fDtrControl;
    line.fRtsControl = wanted.fRtsControl;
    line.fOutX = wanted.fOutX;
    line.fInX = wanted.fInX;
    line.XonChar = kXon;
    line.XoffChar = kXoff;
    return line;
}

ULONGLONG LineRecord::Milliseconds(DWORD count, const DCB& line) {
    const ULONGLONG dataBits = line.ByteSize >= 5 && line.ByteSize <= 8 ? line.ByteSize : 8;
    const ULONGLONG parityBits = line.Parity == NOPARITY ? 0 : 1;
    const ULONGLONG stopTenths = line.StopBits == TWOSTOPBITS ? 20 : line.StopBits == ONE5STOPBITS ? 15 : 10;
    // In tenths of a bit: a start bit, the data, the parity, the stop bits.
    const ULONGLONG tenthsPerCharacter = 10 * (1 + dataBits + parityBits) + stopTenths;
    const ULONGLONG baud = std::max<DWORD>(line.BaudRate, kSlowestBaud);
    return (count * tenthsPerCharacter * 100 + baud - 1) / baud;
}

}  // namespace Serial
