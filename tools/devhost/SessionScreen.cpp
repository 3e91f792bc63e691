#include "SessionScreen.h"
#include "TraceReader.h"

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

std::string CVisibleText::Render(const uint8_t* data, size_t count) {
    std::string text;
    text.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        uint8_t byte = data[i];
        bool afterCr = m_afterCr;
        m_afterCr = byte == '\r';
        if (byte == '\n' && afterCr) continue;
        if (byte == '\r' || byte == '\n') {
            text += '\n';
        } else if (byte == '\t' || (byte >= 0x20 && byte != 0x7f)) {
            text += static_cast<char>(byte);
        } else {
            char shown[8];
            std::snprintf(shown, sizeof shown, "<0x%02X>", byte);
            text += shown;
        }
    }
    return text;
}

std::string HexDump(const uint8_t* data, size_t count, uint64_t streamOffset) {
    constexpr size_t kPerLine = 16;
    std::string dump;
    for (size_t line = 0; line < count; line += kPerLine) {
        char text[32];
        std::snprintf(text, sizeof text, "%08llx ", static_cast<unsigned long long>(streamOffset + line));
        dump += text;
        std::string printable;
        for (size_t i = line; i < line + kPerLine; ++i) {
            if (i < count) {
                std::snprintf(text, sizeof text, " %02x", data[i]);
                dump += text;
                printable += data[i] >= 0x20 && data[i] < 0x7f ? static_cast<char>(data[i]) : '.';
            } else {
                dump += "   ";
            }
        }
        dump += "  |" + printable + "|\n";
    }
    return dump;
}

CSessionScreen::CSessionScreen(Data data, bool timestamps)
    : m_data(data), m_timestamps(timestamps), m_start(std::chrono::steady_clock::now()),
      m_trace(CTraceReader::Current()) {
    if (IsConsole(stdout) && IsConsole(stderr)) {
        m_console = ConsoleOf(stdout);
        if (CursorOf(m_console).X != 0) WriteConsoleText(m_console, L"\n");
        m_bottomRow = CursorOf(m_console).Y;
    }
    m_thread = std::thread([this] { Run(); });
    if (m_trace) m_trace->ShowThrough([this](const std::wstring& text) { Aside(ToUtf8(text) + "\n"); });
}

CSessionScreen::~CSessionScreen() { Close(); }

// Called with the lock held.
void CSessionScreen::Queue(std::FILE* stream, const std::string& utf8) {
    if (utf8.empty()) return;
    if (!m_pending.empty() && m_pending.back().stream == stream) {
        m_pending.back().text += utf8;
    } else {
        m_pending.push_back({stream, utf8});
    }
    m_dirty = true;
    m_changed.notify_one();
}

void CSessionScreen::SetStatus(const std::wstring& status) {
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_bottom.status == status) return;
    m_bottom.status = status;
    m_dirty = true;
    m_changed.notify_one();
}

void CSessionScreen::SetInput(const std::wstring& input) {
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_bottom.inputShown && m_bottom.input == input) return;
    m_bottom.input = input;
    m_bottom.inputShown = true;
    m_dirty = true;
    m_changed.notify_one();
}

void CSessionScreen::Close() {
    if (m_trace) m_trace->ShowThrough({});
    m_trace = nullptr;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_closing = true;
    }
    m_changed.notify_one();
    if (m_thread.joinable()) m_thread.join();
}

void CSessionScreen::Run() {
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

void CSessionScreen::Draw(const std::vector<Piece>& pieces, const Bottom& bottom, bool closing) {
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

void CSessionScreen::WritePieces(const std::vector<Piece>& pieces) {
    for (const Piece& piece : pieces) (piece.stream == stdout ? m_out : m_err).Write(piece.text);
}

void CSessionScreen::EraseBottom() {
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
void CSessionScreen::DrawBottom(const Bottom& bottom) {
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

SHORT CSessionScreen::Width() const {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    GetConsoleScreenBufferInfo(m_console, &info);
    return static_cast<SHORT>(info.srWindow.Right - info.srWindow.Left + 1);
}

void CSessionScreen::Received(const uint8_t* data, size_t count) {
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_data == Data::Hex) {
        Show(false, HexDump(data, count, m_receivedOffset));
    } else if (m_data == Data::Visible) {
        Show(false, m_receivedText.Render(data, count));
    } else if (m_data == Data::AsItCame) {
        Show(false, std::string(reinterpret_cast<const char*>(data), count));
    }
    m_receivedOffset += count;
}

void CSessionScreen::Sent(const uint8_t* data, size_t count) {
    std::lock_guard<std::mutex> hold(m_lock);
    Show(true, m_data == Data::Hex ? HexDump(data, count, m_sentOffset) : m_sentText.Render(data, count));
    m_sentOffset += count;
}

void CSessionScreen::Show(bool sent, const std::string& body) {
    std::string prefix;
    if (m_timestamps) {
        char time[32];
        std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - m_start;
        std::snprintf(time, sizeof time, "[%8.3f] ", elapsed.count());
        prefix = time;
    }
    if (sent) prefix += "> ";
    std::string text;
    if (!m_atLineStart && (m_timestamps || sent != m_lastWasSent)) text += '\n';
    m_atLineStart = m_atLineStart || !text.empty();
    for (char c : body) {
        if (m_atLineStart) text += prefix;
        text += c;
        m_atLineStart = c == '\n';
    }
    m_lastWasSent = sent;
    Queue(stdout, text);
}

void CSessionScreen::Notice(const std::wstring& text) { Aside("[" + ToUtf8(text) + "]\n"); }

// On a console the line must not run on from an unfinished data line;
// elsewhere it goes to stderr and the data stream stays as it came.
void CSessionScreen::Aside(const std::string& text) {
    std::lock_guard<std::mutex> hold(m_lock);
    std::string line = text;
    if (m_console && !m_atLineStart) {
        line.insert(0, 1, '\n');
        m_atLineStart = true;
    }
    Queue(stderr, line);
}

}  // namespace DevHost
