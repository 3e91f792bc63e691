#include "serial/RequestQueue.h"

namespace Serial {

void CRequestQueue::Append(ITransferRequest* request) {
    Win32::CLock hold(m_lock);
    m_requests.push_back(request);
}

ITransferRequest* CRequestQueue::Head() {
    Win32::CLock hold(m_lock);
    return m_requests.empty() ? nullptr : m_requests.front();
}

void CRequestQueue::RemoveHead() {
    Win32::CLock hold(m_lock);
    if (!m_requests.empty()) m_requests.pop_front();
}

}  // namespace Serial
