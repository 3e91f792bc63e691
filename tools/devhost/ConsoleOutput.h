#pragma once
#include <windows.h>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace DevHost {

std::string ToUtf8(std::wstring_view text);
// Invalid sequences become U+FFFD rather than dropping the whole text.
std::wstring FromUtf8(std::string_view bytes);

// How much of bytes ends on a whole UTF-8 character.
size_t WholeCharactersLength(std::string_view bytes);

// Puts stdout and stderr into byte mode, so received data and UTF-8 text
// reach a file or a pipe exactly as written.
void PrepareConsoleOutput();

// The console window behind the stream, or null for a file or a pipe.
HANDLE ConsoleOf(std::FILE* stream);
inline bool IsConsole(std::FILE* stream) { return ConsoleOf(stream) != nullptr; }

// The consoles of Windows and of Wine show UTF-8 written as bytes one byte
// at a time, so Cyrillic would come out as replacement marks.
void WriteConsoleText(HANDLE console, std::wstring_view text);

// On a console through the wide-character API, elsewhere as UTF-8, at once.
void Print(std::FILE* stream, std::wstring_view text);

// "devhost: text" on stderr.
void Complain(const std::wstring& text);

// "1 block", "2 blocks".
std::wstring Counted(uint64_t count, const wchar_t* noun);

// UTF-8 text that comes in pieces (received data): on a console decoded
// across them, as an instrument's block may end inside a character;
// elsewhere the bytes as they came.
class CTextOut {
public:
    explicit CTextOut(std::FILE* stream) : m_stream(stream), m_console(ConsoleOf(stream)) {}
    void Write(std::string_view utf8);
    // Shows a character still cut short, at the end of the output.
    void Finish();

private:
    std::FILE* m_stream;
    HANDLE m_console;
    std::string m_held;  // a character's start, shown once its end has come
};

}  // namespace DevHost
