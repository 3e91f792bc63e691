#include "InputQueue.h"

namespace DevHost {

void CInputQueue::Push(TypedInput input) {
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_inputs.push_back(std::move(input));
    }
    m_arrived.notify_one();
}

bool CInputQueue::Pop(TypedInput& input, std::chrono::milliseconds wait) {
    std::unique_lock<std::mutex> hold(m_lock);
    if (!m_arrived.wait_for(hold, wait, [this] { return !m_inputs.empty(); })) return false;
    input = std::move(m_inputs.front());
    m_inputs.pop_front();
    return true;
}

}  // namespace DevHost
