#pragma once
#include <windows.h>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>
#include "ConsoleOutput.h"

namespace DevHost {
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

}  // namespace DevHost
