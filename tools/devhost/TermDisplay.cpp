#include "TermDisplay.h"
#include <cstdio>

namespace DevHost {

CTermDisplay::CTermDisplay(CTermScreen& screen, const TermOptions& options)
    : m_screen(screen), m_hex(options.hex), m_timestamps(options.timestamps), m_start(std::chrono::steady_clock::now()) {}

void CTermDisplay::Received(const uint8_t* data, size_t count) {
    Win32::Lock lock(m_lock);
    Show(false, m_hex ? HexDump(data, count, m_receivedOffset) : m_receivedText.Render(data, count));
    m_receivedOffset += count;
}

void CTermDisplay::Sent(const uint8_t* data, size_t count) {
    Win32::Lock lock(m_lock);
    Show(true, m_hex ? HexDump(data, count, m_sentOffset) : m_sentText.Render(data, count));
    m_sentOffset += count;
}

void CTermDisplay::Show(bool sent, const std::string& body) {
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
    m_screen.Write(stdout, text);
}

void CTermDisplay::Notice(const std::wstring& text) { Aside("[" + ToUtf8(text) + "]\n"); }

void CTermDisplay::TraceLine(const std::wstring& text) { Aside(ToUtf8(text) + "\n"); }

// On a console the line must not run on from an unfinished data line;
// elsewhere it goes to stderr and the data stream stays as it came.
void CTermDisplay::Aside(const std::string& text) {
    Win32::Lock lock(m_lock);
    std::string line = text;
    if (m_screen.Interactive() && !m_atLineStart) {
        line.insert(0, 1, '\n');
        m_atLineStart = true;
    }
    m_screen.Write(stderr, line);
}

}  // namespace DevHost
