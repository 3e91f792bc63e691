#pragma once
#include <windows.h>
#include <string>

// The protocol of the simulated receiver: it waits for the host's first
// line, answers it, sends fixes for a while paced as the line at this baud
// rate would carry them, then falls silent and listens until the line is
// quiet. The one command it knows, "$PSIM,RATE,<1-20>*hh", sets the fixes
// per second and is answered "$PSIM,ACK,RATE,<n>"; anything else starting
// with "$PSIM" is answered "$PSIM,NAK,...".
struct GnssReceiverOptions {
    std::wstring port;
    DWORD baud = 9600;
    double streamSeconds = 4.0;
    double startTimeoutSeconds = 30.0;
    bool streamAtOnce = false;  // fixes from the open, as a powered receiver sends them, not after the host's line
    std::wstring sentLog;      // every byte the instrument wrote
    std::wstring receivedLog;  // every byte the host sent
};

// The process exit status: 0 done, 2 port trouble, 3 no host.
int RunGnssReceiver(const GnssReceiverOptions& options);
