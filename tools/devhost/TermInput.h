#pragma once
#include <windows.h>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace DevHost {

// term's standard input: the keyboard, whose line is edited here (Ctrl+C
// stays with the console's control handler), or the lines of a pipe or a
// file (UTF-8, LF or CR LF) until it ends.
//
// Key events rather than ReadConsoleW's line mode: in line mode the console
// echoes the typed text wherever the cursor is, so data printed meanwhile
// tears the line apart, and Ctrl+] is only seen after Enter. Key events
// come the same way from the Windows console and from Wine's console on a
// Unix terminal (which turns the terminal's bytes into key events).
class CTermInput {
public:
    CTermInput();
    ~CTermInput();
    CTermInput(const CTermInput&) = delete;
    CTermInput& operator=(const CTermInput&) = delete;

    std::vector<std::wstring> Take(DWORD waitMilliseconds);
    bool QuitAsked() const { return m_quitAsked; }
    // Piped input is over, every line taken.
    bool Ended() const { return m_ended; }
    // The line being typed, not sent yet; none from a pipe.
    std::optional<std::wstring> Typing() const { return m_keyboard ? std::optional(m_line) : std::nullopt; }

private:
    struct Piped;

    HANDLE m_input;
    DWORD m_savedMode = 0;
    const bool m_keyboard;
    std::wstring m_line;
    bool m_quitAsked = false;
    bool m_ended = false;
    std::shared_ptr<Piped> m_piped;
};

}  // namespace DevHost
