#pragma once
#include <windows.h>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>
#include "CommandLine.h"
#include "ConsoleOutput.h"
#include "ExchangeReport.h"
#include "win32/CriticalSection.h"

namespace DevHost {

// "in 1234 B  out 24 B  960 B/s  quiet 0.4 s of 2 s"
std::wstring FormatStatus(const ExchangeReport& report, ULONGLONG now, int32_t waitSeconds);

// One line on stderr, rewritten in place; only on a console, where a person
// watches it. Data shown on the same console clears it first.
class CStatusLine {
public:
    // How often receive and term refresh it: often enough to follow a
    // transfer, seldom enough not to load a console.
    static constexpr DWORD kIntervalMilliseconds = 250;

    CStatusLine();
    void Show(const std::wstring& text);
    void Clear();

private:
    const bool m_enabled;
    Win32::CriticalSection m_lock;
    size_t m_shownLength = 0;
};

// The console of `term`: text scrolls above one bottom line that holds what
// is being typed and the exchange's status. Text written while the last
// line is unfinished continues that line, so received data reads as it
// came. When stdout or stderr is not a console there is no bottom line and
// text is written as it is.
//
// Writers only queue: a thread of the screen's own draws what has queued
// up, all of it at once, at most once a frame. A console (Wine's above all)
// takes far longer to draw a block than a serial line takes to carry it,
// and the plug-in's worker, which hands over the data, must never wait for
// the console, nor must the keyboard.
class CTermScreen {
public:
    CTermScreen();
    ~CTermScreen();
    CTermScreen(const CTermScreen&) = delete;
    CTermScreen& operator=(const CTermScreen&) = delete;

    bool Interactive() const { return m_console != nullptr; }
    void Write(std::FILE* stream, const std::string& utf8);
    void SetStatus(const std::wstring& status);
    void SetInput(const std::wstring& input);
    // Draws what is queued, then leaves the console with the bottom line
    // gone and the cursor on a line of its own.
    void Close();

private:
    struct Piece {
        std::FILE* stream;
        std::string text;
    };
    struct Bottom {
        std::wstring status;
        std::wstring input;
        bool inputShown = false;
    };

    void Run();
    void Draw(const std::vector<Piece>& pieces, const Bottom& bottom, bool closing);
    void WritePieces(const std::vector<Piece>& pieces);
    void EraseBottom();
    void DrawBottom(const Bottom& bottom);
    SHORT Width() const;

    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<Piece> m_pending;
    Bottom m_bottom;
    bool m_dirty = false;
    bool m_closing = false;

    // The drawing thread's own.
    HANDLE m_console = nullptr;
    CTextOut m_out{stdout};
    CTextOut m_err{stderr};
    SHORT m_bottomRow = 0;
    bool m_midLine = false;
    COORD m_outputEnd{};  // where an unfinished last line goes on
    std::thread m_thread;
};

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
