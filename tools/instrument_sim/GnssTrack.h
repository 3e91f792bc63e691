#pragma once
#include <windows.h>
#include <string>

// A receiver on a vehicle moving at a steady speed on a slowly turning course,
// reporting a fix as GGA, GSA, RMC and VTG sentences.
class CGnssTrack {
public:
    // start: the UTC time of the first fix.
    explicit CGnssTrack(const SYSTEMTIME& start);

    // The sentences of the fix at this many seconds after the start.
    std::string Epoch(double seconds) const;

private:
    SYSTEMTIME m_start;
};
