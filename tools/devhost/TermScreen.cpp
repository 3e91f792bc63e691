#include "TermScreen.h"
#include <io.h>
#include "ConsoleOutput.h"
#include "Utf8.h"

namespace DevHost {
namespace {

// Cursor moves through the console API rather than escape sequences: the
// Windows console takes those only when asked to, and Wine's console keeps
// its own screen and draws it onto the Unix terminal.
COORD CursorOf(HANDLE console) {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    GetConsoleScreenBufferInfo(console, &info);
    return info.dwCursorPosition;
}

void WriteRaw(std::FILE* stream, const std::string& utf8) {
    std::fwrite(utf8.data(), 1, utf8.size(), stream);
    std::fflush(stream);
}

}  // namespace

CTermScreen::CTermScreen() {
    if (!IsConsole(stdout) || !IsConsole(stderr)) return;
    // NOLINTNEXTLINE(performance-no-int-to-ptr): the CRT hands the handle out as an integer
    m_console = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stdout)));
    if (CursorOf(m_console).X != 0) WriteRaw(stdout, "\n");
    m_bottomRow = CursorOf(m_console).Y;
}

SHORT CTermScreen::Width() const {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    GetConsoleScreenBufferInfo(m_console, &info);
    return static_cast<SHORT>(info.srWindow.Right - info.srWindow.Left + 1);
}

void CTermScreen::Write(std::FILE* stream, const std::string& utf8) {
    if (utf8.empty()) return;
    Win32::Lock lock(m_lock);
    if (!m_console) {
        WriteRaw(stream, utf8);
        return;
    }
    EraseBottom();
    if (m_midLine) SetConsoleCursorPosition(m_console, m_outputEnd);
    WriteRaw(stream, utf8);
    COORD end = CursorOf(m_console);
    m_midLine = end.X != 0;
    if (m_midLine) {
        m_outputEnd = end;
        WriteRaw(stream, "\n");
    }
    // The newline may have scrolled the console; the unfinished line is
    // always the one right above the bottom line.
    m_bottomRow = CursorOf(m_console).Y;
    if (m_midLine) m_outputEnd.Y = static_cast<SHORT>(m_bottomRow - 1);
    DrawBottom();
}

void CTermScreen::SetStatus(const std::wstring& status) {
    Win32::Lock lock(m_lock);
    m_status = status;
    if (m_console) DrawBottom();
}

void CTermScreen::SetInput(const std::wstring& input) {
    Win32::Lock lock(m_lock);
    m_input = input;
    m_inputShown = true;
    if (m_console) DrawBottom();
}

void CTermScreen::Close() {
    Win32::Lock lock(m_lock);
    if (!m_console) return;
    EraseBottom();
    m_console = nullptr;
}

void CTermScreen::EraseBottom() {
    COORD start{0, m_bottomRow};
    DWORD written = 0;
    FillConsoleOutputCharacterW(m_console, L' ', static_cast<DWORD>(Width()), start, &written);
    SetConsoleCursorPosition(m_console, start);
}

// "> typed text" on the left, where the cursor stays, the status on the
// right; a line too long for the window keeps its end and drops the status.
void CTermScreen::DrawBottom() {
    EraseBottom();
    SHORT width = Width();
    size_t room = width > 1 ? static_cast<size_t>(width) - 1 : 0;
    std::wstring left = m_inputShown ? L"> " + m_input : L"";
    if (left.size() > room) left = left.substr(left.size() - room);
    std::wstring line = left;
    if (left.size() + 2 + m_status.size() <= room) line += std::wstring(room - left.size() - m_status.size(), L' ') + m_status;
    WriteRaw(stdout, ToUtf8(line));
    SetConsoleCursorPosition(m_console, COORD{static_cast<SHORT>(left.size()), m_bottomRow});
}

}  // namespace DevHost
