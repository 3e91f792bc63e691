#pragma once
#include <cstdint>
#include "serial/SerialApi.h"

// The system's serial calls, each counted and timed on its way through:
// where the plug-in's time per received block goes.
enum ProfiledCall {
    kClearCommError,
    kReadFile,
    kWaitCommEvent,
    kGetOverlappedResult,
    kCancelIoEx,
    kGetCommMask,
    kSetCommMask,
    kProfiledCalls
};

struct CallTally {
    uint64_t calls;
    double milliseconds;
};

const Serial::SerialApi& ProfiledApi();
const char* NameOf(ProfiledCall call);
CallTally Tally(ProfiledCall call);
void ResetTallies();
