#pragma once
#include "plugin_api/HostInterfaces.h"
#include "plugin_api/RefPtr.h"
#include "serial/Exchange.h"
#include "serial/SerialApi.h"

namespace Serial {

// The plug-in's hold on its exchanges: starts and stops them, at most one at
// a time, each on a worker thread of its own. What a worker uses is shared
// with it and goes when the last of the two lets go, so no worker can run
// on a destroyed plug-in, whichever thread drops the last reference.
class CExchangeControl {
public:
    // Raises the standard allocation failure.
    explicit CExchangeControl(const SerialApi& api = SerialApi::System());
    // From here on no call reaches the host's sink; the exchange stops. Made
    // outside the sink's callbacks, it returns once every worker has ended,
    // one that a restart replaced too (so the port is closed), or after 60 ms
    // while the driver holds the worker
    // (an open that connects, a write or read it does not end): the worker
    // then ends on its own when the driver lets go. Made inside a callback,
    // the worker ends on its own after that callback.
    ~CExchangeControl();
    CExchangeControl(const CExchangeControl&) = delete;
    CExchangeControl& operator=(const CExchangeControl&) = delete;

    void SetSink(IDeviceEventSink* sink);
    // False while an exchange runs, until its final event has returned (a
    // start from inside that event is taken), without a sink, or when no
    // thread can be made.
    bool StartExchange(Exchange::Target target);
    // True when no exchange held the port at the call. Never waits.
    bool StopExchange();
    // Queues a request for the worker and ends its listening wait, so the
    // request goes out at once. Raises the standard allocation failure.
    void Queue(ITransferRequest* request);

private:
    class CState;
    Plugin::CRefPtr<CState> m_state;
};

}  // namespace Serial
