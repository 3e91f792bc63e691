#pragma once
#include <chrono>
#include <cstdint>
#include <string>
#include "CommandLine.h"
#include "ReceivedText.h"
#include "TermScreen.h"
#include "win32/CriticalSection.h"

namespace DevHost {
// What `term` shows of the session: received data as visible text or a hex
// dump, what was sent when echoing (lines marked "> "), and notices. Data
// of either direction starts on a fresh line when the direction changes;
// with timestamps every block does, and each of its lines carries the
// block's time since the session began.
class CTermDisplay {
public:
    CTermDisplay(CTermScreen& screen, const TermOptions& options);

    void Received(const uint8_t* data, size_t count);
    void Sent(const uint8_t* data, size_t count);
    // "[text]" on a line of its own.
    void Notice(const std::wstring& text);
    // A line of the plug-in's trace (--trace), as it is.
    void TraceLine(const std::wstring& text);

private:
    void Show(bool sent, const std::string& body);
    void Aside(const std::string& text);

    CTermScreen& m_screen;
    const bool m_hex;
    const bool m_timestamps;
    const std::chrono::steady_clock::time_point m_start;
    Win32::CriticalSection m_lock;
    CVisibleText m_receivedText;
    CVisibleText m_sentText;
    uint64_t m_receivedOffset = 0;
    uint64_t m_sentOffset = 0;
    bool m_atLineStart = true;
    bool m_lastWasSent = false;
};

}  // namespace DevHost
