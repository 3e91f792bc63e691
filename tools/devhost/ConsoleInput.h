#pragma once
#include <windows.h>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
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

// Reads the keyboard of a console one key at a time and edits the line
// itself: printable keys add, Backspace removes, Esc clears, Enter hands
// the line on, Ctrl+] asks to quit. Ctrl+C stays with the console's
// control handler.
//
// Key events rather than ReadConsoleW's line mode: in line mode the console
// echoes the typed text wherever the cursor is, so data printed meanwhile
// tears the line apart, and Ctrl+] is only seen after Enter. Key events
// come the same way from the Windows console and from Wine's console on a
// Unix terminal (which turns the terminal's bytes into key events), and the
// typed line is drawn by devhost on the bottom line with the status.
class CConsoleLineEditor {
public:
    using ShowLine = std::function<void(const std::wstring& line)>;

    CConsoleLineEditor(HANDLE console, CInputQueue& queue, ShowLine show);
    ~CConsoleLineEditor();

    // Stops reading the keyboard and gives back the console's mode; the
    // line being typed stays, for the session to say it was not sent.
    void Stop();
    const std::wstring& UnsentLine() const { return m_line; }
    CConsoleLineEditor(const CConsoleLineEditor&) = delete;
    CConsoleLineEditor& operator=(const CConsoleLineEditor&) = delete;

private:
    void Run();
    void Key(const KEY_EVENT_RECORD& key);

    HANDLE m_console;
    CInputQueue& m_queue;
    ShowLine m_show;
    DWORD m_savedMode = 0;
    std::wstring m_line;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

// Reads lines from a pipe or a file (LF or CR LF ends a line, UTF-8) on a
// thread of its own and queues them, then End. The thread is left to
// itself: a read from a pipe cannot be called off, and it holds the queue
// so that nothing it uses goes away before the process ends.
void StartStreamLineReader(HANDLE input, std::shared_ptr<CInputQueue> queue);

}  // namespace DevHost
