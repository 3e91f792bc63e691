#include "ConsoleInput.h"
#include <utility>
#include "ConsoleOutput.h"

namespace DevHost {
namespace {

constexpr wchar_t kCtrlRightBracket = 0x1D;
constexpr wchar_t kEscape = 0x1B;
constexpr DWORD kStopCheckMs = 100;

void QueueLine(CInputQueue& queue, std::string line) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    queue.Push({TypedInput::Line, FromUtf8(line)});
}

void ReadLines(HANDLE input, const std::shared_ptr<CInputQueue>& queue) {
    std::string pending;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(input, buffer, sizeof buffer, &read, nullptr) && read > 0) {
        pending.append(buffer, read);
        for (size_t end; (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1)) {
            QueueLine(*queue, pending.substr(0, end));
        }
    }
    if (!pending.empty()) QueueLine(*queue, pending);
    queue->Push({TypedInput::End, {}});
}

}  // namespace

CConsoleLineEditor::CConsoleLineEditor(HANDLE console, CInputQueue& queue, ShowLine show)
    : m_console(console), m_queue(queue), m_show(std::move(show)) {
    GetConsoleMode(m_console, &m_savedMode);
    SetConsoleMode(m_console, ENABLE_PROCESSED_INPUT);
    m_show(m_line);
    m_thread = std::thread([this] { Run(); });
}

CConsoleLineEditor::~CConsoleLineEditor() { Stop(); }

void CConsoleLineEditor::Stop() {
    if (!m_thread.joinable()) return;
    m_stop = true;
    m_thread.join();
    SetConsoleMode(m_console, m_savedMode);
}

// The wait lets the thread see the stop within a moment instead of staying
// blocked in a read until the next key.
void CConsoleLineEditor::Run() {
    while (!m_stop) {
        if (WaitForSingleObject(m_console, kStopCheckMs) != WAIT_OBJECT_0) continue;
        INPUT_RECORD records[32];
        DWORD count = 0;
        if (!ReadConsoleInputW(m_console, records, 32, &count)) return;
        for (DWORD i = 0; i < count; ++i) {
            if (records[i].EventType == KEY_EVENT && records[i].Event.KeyEvent.bKeyDown) Key(records[i].Event.KeyEvent);
        }
    }
}

void CConsoleLineEditor::Key(const KEY_EVENT_RECORD& key) {
    wchar_t c = key.uChar.UnicodeChar;
    for (WORD repeat = 0; repeat < key.wRepeatCount; ++repeat) {
        if (c == L'\r') {
            m_queue.Push({TypedInput::Line, m_line});
            m_line.clear();
        } else if (c == L'\b') {
            // A character beyond the first plane is two UTF-16 units.
            if (!m_line.empty() && IS_LOW_SURROGATE(m_line.back())) m_line.pop_back();
            if (!m_line.empty()) m_line.pop_back();
        } else if (c == kEscape || key.wVirtualKeyCode == VK_ESCAPE) {
            m_line.clear();
        } else if (c == kCtrlRightBracket) {
            m_queue.Push({TypedInput::Quit, {}});
            return;
        } else if (c >= L' ') {
            m_line += c;
        }
    }
    m_show(m_line);
}

void StartStreamLineReader(HANDLE input, std::shared_ptr<CInputQueue> queue) {
    std::thread([input, queue = std::move(queue)] { ReadLines(input, queue); }).detach();
}

}  // namespace DevHost
