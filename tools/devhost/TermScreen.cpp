#include "TermScreen.h"

namespace DevHost {
namespace {

// The shortest time between two drawings: what comes meanwhile is drawn
// together, however small the blocks.
constexpr DWORD kFrameMs = 20;

// Cursor moves through the console API rather than escape sequences: the
// Windows console takes those only when asked to, and Wine's console keeps
// its own screen and draws it onto the Unix terminal.
COORD CursorOf(HANDLE console) {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    GetConsoleScreenBufferInfo(console, &info);
    return info.dwCursorPosition;
}

}  // namespace

CTermScreen::CTermScreen() {
    if (IsConsole(stdout) && IsConsole(stderr)) {
        m_console = ConsoleOf(stdout);
        if (CursorOf(m_console).X != 0) WriteConsoleText(m_console, L"\n");
        m_bottomRow = CursorOf(m_console).Y;
    }
    m_thread = std::thread([this] { Run(); });
}

CTermScreen::~CTermScreen() { Close(); }

void CTermScreen::Write(std::FILE* stream, const std::string& utf8) {
    if (utf8.empty()) return;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        if (!m_pending.empty() && m_pending.back().stream == stream) {
            m_pending.back().text += utf8;
        } else {
            m_pending.push_back({stream, utf8});
        }
        m_dirty = true;
    }
    m_changed.notify_one();
}

void CTermScreen::SetStatus(const std::wstring& status) {
    {
        std::lock_guard<std::mutex> hold(m_lock);
        if (m_bottom.status == status) return;
        m_bottom.status = status;
        m_dirty = true;
    }
    m_changed.notify_one();
}

void CTermScreen::SetInput(const std::wstring& input) {
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_bottom.input = input;
        m_bottom.inputShown = true;
        m_dirty = true;
    }
    m_changed.notify_one();
}

void CTermScreen::Close() {
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_closing = true;
    }
    m_changed.notify_one();
    if (m_thread.joinable()) m_thread.join();
}

void CTermScreen::Run() {
    std::unique_lock<std::mutex> hold(m_lock);
    for (;;) {
        m_changed.wait(hold, [this] { return m_dirty || m_closing; });
        std::vector<Piece> pieces;
        pieces.swap(m_pending);
        const Bottom bottom = m_bottom;
        const bool closing = m_closing;
        m_dirty = false;
        hold.unlock();
        Draw(pieces, bottom, closing);
        if (closing) return;
        Sleep(kFrameMs);
        hold.lock();
    }
}

void CTermScreen::Draw(const std::vector<Piece>& pieces, const Bottom& bottom, bool closing) {
    if (!m_console) {
        WritePieces(pieces);
        if (closing) {
            m_out.Finish();
            m_err.Finish();
        }
        return;
    }
    if (!pieces.empty()) {
        EraseBottom();
        if (m_midLine) SetConsoleCursorPosition(m_console, m_outputEnd);
        WritePieces(pieces);
        if (closing) m_out.Finish();
        COORD end = CursorOf(m_console);
        m_midLine = end.X != 0;
        if (m_midLine) {
            m_outputEnd = end;
            WriteConsoleText(m_console, L"\n");
        }
        // The newline may have scrolled the console; the unfinished line is
        // always the one right above the bottom line.
        m_bottomRow = CursorOf(m_console).Y;
        if (m_midLine) m_outputEnd.Y = static_cast<SHORT>(m_bottomRow - 1);
    }
    if (closing) {
        EraseBottom();
    } else {
        DrawBottom(bottom);
    }
}

void CTermScreen::WritePieces(const std::vector<Piece>& pieces) {
    for (const Piece& piece : pieces) (piece.stream == stdout ? m_out : m_err).Write(piece.text);
}

void CTermScreen::EraseBottom() {
    COORD start{0, m_bottomRow};
    DWORD written = 0;
    FillConsoleOutputCharacterW(m_console, L' ', static_cast<DWORD>(Width()), start, &written);
    SetConsoleCursorPosition(m_console, start);
}

// "> typed text" on the left, where the cursor stays, the status on the
// right; a line too long for the window keeps its end and drops the status.
// Widths count characters: the console shows one per cell. The line is
// written whole over the old one, never erased first, so a terminal that
// draws Wine's console does not flicker between the two.
void CTermScreen::DrawBottom(const Bottom& bottom) {
    SHORT width = Width();
    size_t room = width > 1 ? static_cast<size_t>(width) - 1 : 0;
    std::wstring left = bottom.inputShown ? L"> " + bottom.input : L"";
    if (left.size() > room) left = left.substr(left.size() - room);
    std::wstring line = left;
    if (left.size() + 2 + bottom.status.size() <= room) {
        line += std::wstring(room - left.size() - bottom.status.size(), L' ') + bottom.status;
    }
    line.resize(room, L' ');
    SetConsoleCursorPosition(m_console, COORD{0, m_bottomRow});
    WriteConsoleText(m_console, line);
    SetConsoleCursorPosition(m_console, COORD{static_cast<SHORT>(left.size()), m_bottomRow});
}

SHORT CTermScreen::Width() const {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    GetConsoleScreenBufferInfo(m_console, &info);
    return static_cast<SHORT>(info.srWindow.Right - info.srWindow.Left + 1);
}

}  // namespace DevHost
