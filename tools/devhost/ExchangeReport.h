#pragma once
#include <windows.h>
#include <cstdint>
#include <string>
#include <vector>
#include "TransferRequest.h"

namespace DevHost {

enum class ExchangeEnd {
    Running,
    Stopped,        // EventStopped came: idle time, a stop, or a reason the trace did not give
    DeviceGone,     // EventStopped came after the trace said the device was gone
    PortNotOpened,  // the plug-in's own message came before EventStarted
};

struct RequestProgress {
    const CTransferRequest* request;
    uint64_t bytesSent;
    bool done;
};

// What one exchange has done so far.
struct ExchangeReport {
    ExchangeEnd end = ExchangeEnd::Running;
    bool started = false;
    uint64_t bytesIn = 0;
    uint64_t bytesOut = 0;
    uint64_t blocksIn = 0;
    ULONGLONG startedTick = 0;    // GetTickCount64 at EventStarted
    ULONGLONG lastBlockTick = 0;  // 0 until the first block
    std::wstring pluginMessage;   // the last text the plug-in sent that was not a copy of data
    std::wstring endReason;       // why it ended, in the user's words
    std::vector<RequestProgress> requests;
};

}  // namespace DevHost
