#include "StatusLine.h"
#include <cstdio>
#include "ConsoleOutput.h"

namespace DevHost {

std::wstring FormatStatus(const ExchangeReport& report, ULONGLONG now, int32_t waitSeconds) {
    wchar_t text[160];
    double running = report.started ? (now - report.startedTick) / 1000.0 : 0.0;
    double rate = running > 0.0 ? report.bytesIn / running : 0.0;
    int length = std::swprintf(text, 160, L"in %llu B  out %llu B  %.0f B/s", report.bytesIn, report.bytesOut, rate);
    if (!report.started) {
        std::swprintf(text + length, 160 - length, L"  opening the port");
    } else if (report.lastBlockTick == 0) {
        std::swprintf(text + length, 160 - length, L"  waiting for data");
    } else {
        std::swprintf(text + length, 160 - length, L"  quiet %.1f s of %d s", (now - report.lastBlockTick) / 1000.0,
                      waitSeconds);
    }
    return text;
}

CStatusLine::CStatusLine() : m_enabled(IsConsole(stderr)) {}

void CStatusLine::Show(const std::wstring& text) {
    if (!m_enabled) return;
    Win32::Lock lock(m_lock);
    std::wstring line = L"\r" + text;
    if (text.size() < m_shownLength) line.append(m_shownLength - text.size(), L' ');
    Print(stderr, line);
    std::fflush(stderr);
    m_shownLength = text.size();
}

void CStatusLine::Clear() {
    if (!m_enabled) return;
    Win32::Lock lock(m_lock);
    if (m_shownLength == 0) return;
    Print(stderr, L"\r" + std::wstring(m_shownLength, L' ') + L"\r");
    std::fflush(stderr);
    m_shownLength = 0;
}

}  // namespace DevHost
