#include "TermInput.h"
#include <mutex>
#include <thread>
#include "ConsoleOutput.h"
#include "win32/Event.h"

namespace DevHost {

constexpr wchar_t kCtrlRightBracket = 0x1D;
constexpr wchar_t kEscape = 0x1B;

// A read from a pipe cannot be called off, so its thread is left to itself
// and holds this until the process ends.
struct CTermInput::Piped {
    std::mutex lock;
    std::vector<std::wstring> lines;
    bool ended = false;
    Win32::CEvent arrived{Win32::CEvent::Reset::Automatic};

    void ReadLines(HANDLE input) {
        std::string pending;
        char buffer[4096];
        DWORD read = 0;
        for (bool more = true; more;) {
            more = ReadFile(input, buffer, sizeof buffer, &read, nullptr) && read > 0;
            pending.append(buffer, more ? read : 0);
            // The input may end without a line end; even a lone CR is a line.
            if (!more && !pending.empty()) pending += '\n';
            std::lock_guard<std::mutex> hold(lock);
            for (size_t end; (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1)) {
                const size_t length = end > 0 && pending[end - 1] == '\r' ? end - 1 : end;
                lines.push_back(FromUtf8(pending.substr(0, length)));
            }
            ended = !more;
            arrived.Set();
        }
    }
};

CTermInput::CTermInput()
    : m_input(GetStdHandle(STD_INPUT_HANDLE)), m_keyboard(GetConsoleMode(m_input, &m_savedMode) != 0) {
    if (m_keyboard) {
        SetConsoleMode(m_input, ENABLE_PROCESSED_INPUT);
        return;
    }
    m_piped = std::make_shared<Piped>();
    std::thread([input = m_input, piped = m_piped] { piped->ReadLines(input); }).detach();
}

CTermInput::~CTermInput() {
    if (m_keyboard) SetConsoleMode(m_input, m_savedMode);
}

std::vector<std::wstring> CTermInput::Take(DWORD waitMilliseconds) {
    std::vector<std::wstring> lines;
    if (!m_keyboard) {
        if (WaitForSingleObject(m_piped->arrived.Get(), waitMilliseconds) != WAIT_OBJECT_0) return lines;
        std::lock_guard<std::mutex> hold(m_piped->lock);
        lines.swap(m_piped->lines);
        m_ended = m_piped->ended;
        return lines;
    }
    if (WaitForSingleObject(m_input, waitMilliseconds) != WAIT_OBJECT_0) return lines;
    INPUT_RECORD records[32];
    DWORD count = 0;
    // A console that cannot be read has ended its input; the wait keeps the
    // session from spinning on it.
    if (!ReadConsoleInputW(m_input, records, 32, &count)) {
        Sleep(waitMilliseconds);
        m_ended = true;
    }
    for (DWORD i = 0; i < count; ++i) {
        if (records[i].EventType != KEY_EVENT || !records[i].Event.KeyEvent.bKeyDown) continue;
        const KEY_EVENT_RECORD& key = records[i].Event.KeyEvent;
        const wchar_t c = key.uChar.UnicodeChar;
        for (WORD repeat = 0; repeat < key.wRepeatCount; ++repeat) {
            if (c == L'\r') {
                lines.push_back(m_line);
                m_line.clear();
            } else if (c == L'\b') {
                // A character beyond the first plane is two UTF-16 units.
                if (!m_line.empty() && IS_LOW_SURROGATE(m_line.back())) m_line.pop_back();
                if (!m_line.empty()) m_line.pop_back();
            } else if (c == kEscape || key.wVirtualKeyCode == VK_ESCAPE) {
                m_line.clear();
            } else if (c == kCtrlRightBracket) {
                m_quitAsked = true;
            } else if (c >= L' ') {
                m_line += c;
            }
        }
    }
    return lines;
}

}  // namespace DevHost
