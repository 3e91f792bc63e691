#include "serial/LineRecord.h"

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

}  // namespace Serial
