#include "SessionScreen.h"
#include <algorithm>
#include <utility>
#include "TraceReader.h"

namespace DevHost {
namespace {

// What comes within a frame is drawn together, however small the blocks.
constexpr DWORD kFrameMilliseconds = 20;

// Cursor moves through the console API rather than escape sequences: the
// Windows console takes those only when asked to, and Wine's console keeps
// its own screen and draws it onto the Unix terminal.
CONSOLE_SCREEN_BUFFER_INFO InfoOf(HANDLE console) {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    GetConsoleScreenBufferInfo(console, &info);
    return info;
}

}  // namespace

std::string VisibleText(const uint8_t* data, size_t count, bool& afterCr) {
    std::string text;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t byte = data[i];
        const bool lfOfCrLf = byte == '\n' && afterCr;
        afterCr = byte == '\r';
        if (lfOfCrLf) continue;
        char shown[8] = {static_cast<char>(byte == '\r' ? '\n' : byte)};
        const bool control = byte < 0x20 && byte != '\t' && byte != '\r' && byte != '\n';
        if (control || byte == 0x7f) std::snprintf(shown, sizeof shown, "<0x%02X>", byte);
        text += shown;
    }
    return text;
}

std::string HexDump(const uint8_t* data, size_t count, uint64_t streamOffset) {
    std::string dump;
    char text[32];
    for (size_t line = 0; line < count; line += 16) {
        std::snprintf(text, sizeof text, "%08llx ", static_cast<unsigned long long>(streamOffset + line));
        dump += text;
        std::string printable;
        const size_t end = std::min(count, line + 16);
        for (size_t i = line; i < end; ++i) {
            std::snprintf(text, sizeof text, " %02x", data[i]);
            dump += text;
            printable += data[i] >= 0x20 && data[i] < 0x7f ? static_cast<char>(data[i]) : '.';
        }
        dump += std::string(3 * (line + 16 - end), ' ') + "  |" + printable + "|\n";
    }
    return dump;
}

CSessionScreen::CSessionScreen(Data data, bool timestamps)
    : m_data(data), m_timestamps(timestamps), m_start(std::chrono::steady_clock::now()) {
    if (IsConsole(stdout) && IsConsole(stderr)) {
        m_console = ConsoleOf(stdout);
        if (InfoOf(m_console).dwCursorPosition.X != 0) WriteConsoleText(m_console, L"\n");
        m_bottomRow = InfoOf(m_console).dwCursorPosition.Y;
    }
    m_thread = std::thread([this] { Run(); });
    if (CTraceReader* trace = CTraceReader::Current()) {
        trace->ShowThrough([this](const std::wstring& text) { Aside(ToUtf8(text) + "\n"); });
    }
}

CSessionScreen::~CSessionScreen() { Close(); }

void CSessionScreen::Show(bool sent, const uint8_t* data, size_t count) {
    std::lock_guard<std::mutex> hold(m_lock);
    const Data shown = sent && m_data != Data::Hex ? Data::Visible : m_data;
    const std::string body = shown == Data::Hex       ? HexDump(data, count, m_offset[sent])
                             : shown == Data::Visible ? VisibleText(data, count, m_afterCr[sent])
                             : shown == Data::Hidden  ? std::string()
                                                      : std::string(reinterpret_cast<const char*>(data), count);
    m_offset[sent] += count;
    if (body.empty()) return;
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - m_start;
    char time[32] = "";
    if (m_timestamps) std::snprintf(time, sizeof time, "[%8.3f] ", elapsed.count());
    const std::string prefix = time + std::string(sent ? "> " : "");
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

// On a console the line must not run on from an unfinished data line;
// elsewhere it goes to stderr and the data stream stays as it came.
void CSessionScreen::Aside(std::string text) {
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_console && !m_atLineStart) {
        text.insert(0, 1, '\n');
        m_atLineStart = true;
    }
    Queue(stderr, text);
}

// Called with the lock held.
void CSessionScreen::Queue(std::FILE* stream, const std::string& utf8) {
    if (!m_pending.empty() && m_pending.back().stream == stream) {
        m_pending.back().text += utf8;
    } else {
        m_pending.push_back({stream, utf8});
    }
}

void CSessionScreen::SetBottom(const std::optional<std::wstring>& typing, const std::wstring& status) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_typing = typing;
    m_status = status;
}

void CSessionScreen::Close() {
    if (CTraceReader* trace = CTraceReader::Current()) trace->ShowThrough({});
    m_closing = true;
    if (m_thread.joinable()) m_thread.join();
}

// Wakes once a frame and draws what came meanwhile, if anything did.
void CSessionScreen::Run() {
    std::pair<std::wstring, std::wstring> drawn;  // typed and status, as last drawn
    for (bool closing = false; !closing;) {
        Sleep(kFrameMilliseconds);
        closing = m_closing;
        std::vector<Piece> pieces;
        std::wstring typed;
        std::wstring status;
        {
            std::lock_guard<std::mutex> hold(m_lock);
            pieces.swap(m_pending);
            if (m_typing && !closing) typed = L"> " + *m_typing;
            if (!closing) status = m_status;
        }
        if (pieces.empty() && !closing && drawn == std::pair(typed, status)) continue;
        drawn = {typed, status};
        if (m_console && !pieces.empty()) {
            DrawBottom({}, {});
            if (m_outputEnd.X != 0) SetConsoleCursorPosition(m_console, m_outputEnd);
        }
        for (const Piece& piece : pieces) (piece.stream == stdout ? m_out : m_err).Write(piece.text);
        if (closing) {
            m_out.Finish();
            m_err.Finish();
        }
        if (m_console && !pieces.empty()) {
            m_outputEnd = InfoOf(m_console).dwCursorPosition;
            if (m_outputEnd.X != 0) WriteConsoleText(m_console, L"\n");
            // The newline may have scrolled the console; an unfinished line is
            // always the one right above the bottom line.
            m_bottomRow = InfoOf(m_console).dwCursorPosition.Y;
            m_outputEnd.Y = static_cast<SHORT>(m_bottomRow - 1);
        }
        if (m_console) DrawBottom(typed, status);
    }
}

// "> typed text" where the cursor stays, the status on the right; a line too
// long for the window keeps its end and drops the status. The line is
// written whole over the old one, never erased first, so a terminal that
// draws Wine's console does not flicker between the two.
void CSessionScreen::DrawBottom(std::wstring typed, const std::wstring& status) {
    const SMALL_RECT window = InfoOf(m_console).srWindow;
    const int width = window.Right - window.Left + 1;
    const size_t room = width > 1 ? static_cast<size_t>(width) - 1 : 0;
    if (typed.size() > room) typed = typed.substr(typed.size() - room);
    std::wstring line = typed;
    if (typed.size() + 2 + status.size() <= room) {
        line += std::wstring(room - typed.size() - status.size(), L' ') + status;
    }
    line.resize(room, L' ');
    SetConsoleCursorPosition(m_console, COORD{0, m_bottomRow});
    WriteConsoleText(m_console, line);
    SetConsoleCursorPosition(m_console, COORD{static_cast<SHORT>(typed.size()), m_bottomRow});
}

}  // namespace DevHost
