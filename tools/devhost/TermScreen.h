#pragma once
#include <windows.h>
#include <cstdio>
#include <string>
#include "win32/CriticalSection.h"

namespace DevHost {

// The console of `term`: text scrolls above one bottom line that holds what
// is being typed and the exchange's status. Text written while the last
// line is unfinished continues that line, so received data reads as it
// came. When stdout or stderr is not a console there is no bottom line and
// text is written as it is.
class CTermScreen {
public:
    CTermScreen();
    CTermScreen(const CTermScreen&) = delete;
    CTermScreen& operator=(const CTermScreen&) = delete;

    bool Interactive() const { return m_console != nullptr; }
    void Write(std::FILE* stream, const std::string& utf8);
    void SetStatus(const std::wstring& status);
    void SetInput(const std::wstring& input);
    // Leaves the console with the bottom line gone and the cursor on a
    // line of its own.
    void Close();

private:
    void EraseBottom();
    void DrawBottom();
    SHORT Width() const;

    Win32::CriticalSection m_lock;
    HANDLE m_console = nullptr;
    SHORT m_bottomRow = 0;
    bool m_midLine = false;
    COORD m_outputEnd{};  // where an unfinished last line goes on
    std::wstring m_status;
    std::wstring m_input;
    bool m_inputShown = false;
};

}  // namespace DevHost
