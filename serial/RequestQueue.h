#pragma once
#include <list>
#include "plugin_api/HostInterfaces.h"
#include "win32/CriticalSection.h"

namespace Serial {

// The host's transfer requests, oldest first, from QueueTransferRequest to
// the worker. The requests are borrowed: dropping the queue leaves them
// untouched. Only the worker removes, so the head it reads stays the head
// until it removes it; a request is removed only once it is being sent, and
// the others stay queued, in order, for a later turn or exchange.
class CRequestQueue {
public:
    CRequestQueue() = default;
    CRequestQueue(const CRequestQueue&) = delete;
    CRequestQueue& operator=(const CRequestQueue&) = delete;

    // Raises the standard allocation failure, with the lock released.
    void Append(ITransferRequest* request);
    // Null when the queue is empty.
    ITransferRequest* Head();
    void RemoveHead();

private:
    // The lock is declared last so it goes first, before the list it guards.
    std::list<ITransferRequest*> m_requests;
    Win32::CCriticalSection m_lock;
};

}  // namespace Serial
