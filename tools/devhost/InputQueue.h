#pragma once
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <utility>

namespace DevHost {

struct TypedInput {
    enum Kind { Line, Quit, End } kind;  // a line, Ctrl+], the end of piped input
    std::wstring line;
};

// From the thread that reads the keyboard or the pipe to the session loop.
class CInputQueue {
public:
    void Push(TypedInput input) {
        {
            std::lock_guard<std::mutex> hold(m_lock);
            m_inputs.push_back(std::move(input));
        }
        m_arrived.notify_one();
    }
    // False when nothing came within the time.
    bool Pop(TypedInput& input, std::chrono::milliseconds wait) {
        std::unique_lock<std::mutex> hold(m_lock);
        if (!m_arrived.wait_for(hold, wait, [this] { return !m_inputs.empty(); })) return false;
        input = std::move(m_inputs.front());
        m_inputs.pop_front();
        return true;
    }

private:
    std::mutex m_lock;
    std::condition_variable m_arrived;
    std::deque<TypedInput> m_inputs;
};

}  // namespace DevHost
