#pragma once
#include <windows.h>

namespace Serial {

namespace LineRecord {

// XON/XOFF as every device expects them. A record whose two characters are
// equal is refused whole by drivers that check them, and NUL would pause
// the line on a zero byte of binary data.
constexpr char kXon = 0x11;
constexpr char kXoff = 0x13;

// The record to give a driver: its own record with
// every field that shapes the data taken from the user's settings, the way
// drivers accept it. Some virtual ports refuse a record that was not read
// from them, and redirected ports refuse buffer limits other than their
// own, so the driver's limits and its other fields stay as it had them.
DCB ForDriver(const DCB& driversOwn, const DCB& wanted);

// Below the slowest speed a line is set to, a record's speed is not a speed.
constexpr DWORD kSlowestBaud = 110;

// The time the line needs to carry count bytes at the record's speed and
// character size.
ULONGLONG Milliseconds(DWORD count, const DCB& line);

}  // namespace LineRecord

}  // namespace Serial
