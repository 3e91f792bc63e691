#pragma once
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>

namespace DevHost {

struct TypedInput {
    enum Kind { Line, Quit, End } kind;  // a line, Ctrl+], the end of piped input
    std::wstring line;
};

// From the thread that reads the keyboard or the pipe to the session loop.
class CInputQueue {
public:
    void Push(TypedInput input);
    // False when nothing came within the time.
    bool Pop(TypedInput& input, std::chrono::milliseconds wait);

private:
    std::mutex m_lock;
    std::condition_variable m_arrived;
    std::deque<TypedInput> m_inputs;
};

}  // namespace DevHost
