#pragma once
#include <windows.h>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>
#include "ConsoleOutput.h"

namespace DevHost {

// Received bytes as text a console can show without being steered by them:
// CR, LF and CR LF each end a line (afterCr carries a CR that ended the last
// block), tab stays, every other control byte and DEL show as <0x07>. Other
// bytes pass unchanged, so UTF-8 text reads as text.
std::string VisibleText(const uint8_t* data, size_t count, bool& afterCr);

// Lines of up to 16 bytes: the offset in the whole stream, the bytes in hex,
// and the printable ones as text. A block starts a fresh line, so the
// offsets show where each block began.
std::string HexDump(const uint8_t* data, size_t count, uint64_t streamOffset);

// The console of `receive` and `term`: the data scrolls above one bottom
// line with what is being typed and the status; notices and the trace
// (--trace) go between, never into an unfinished data line. When stdout or
// stderr is not a console there is no bottom line: data goes to stdout as
// it is, notices to stderr.
//
// Writers only queue: a thread of the screen's own draws what has queued
// up, all of it at once, at most once a frame. A console (Wine's above all)
// takes far longer to draw a block than a serial line takes to carry it,
// and the plug-in's worker must never wait for the console, nor must the
// keyboard.
class CSessionScreen {
public:
    enum class Data { Hidden, AsItCame, Visible, Hex };

    CSessionScreen(Data data, bool timestamps);
    ~CSessionScreen();

    void Received(const uint8_t* data, size_t count) { Show(false, data, count); }
    // What was sent, its lines marked "> " (term --echo).
    void Sent(const uint8_t* data, size_t count) { Show(true, data, count); }
    void Notice(const std::wstring& text) { Aside("[" + ToUtf8(text) + "]\n"); }
    // typing: the line being typed, shown after "> "; none for receive.
    void SetBottom(const std::optional<std::wstring>& typing, const std::wstring& status);
    // Draws what is queued and leaves the cursor on a blank line.
    void Close();

private:
    struct Piece {
        std::FILE* stream;
        std::string text;
    };

    void Show(bool sent, const uint8_t* data, size_t count);
    void Aside(std::string text);
    void Queue(std::FILE* stream, const std::string& utf8);
    void Run();
    void DrawBottom(std::wstring typed, const std::wstring& status);

    const Data m_data;
    const bool m_timestamps;
    const std::chrono::steady_clock::time_point m_start;
    HANDLE m_console = nullptr;  // null: no bottom line

    std::mutex m_lock;
    bool m_afterCr[2] = {false, false};  // of each direction, indexed by whether it was sent
    uint64_t m_offset[2] = {0, 0};
    bool m_atLineStart = true;
    bool m_lastWasSent = false;
    std::vector<Piece> m_pending;
    std::optional<std::wstring> m_typing;
    std::wstring m_status;
    std::atomic<bool> m_closing{false};

    // The drawing thread's own.
    CTextOut m_out{stdout};
    CTextOut m_err{stderr};
    SHORT m_bottomRow = 0;
    COORD m_outputEnd{};  // where an unfinished last line goes on; X 0: none
    std::thread m_thread;
};

}  // namespace DevHost
