#pragma once
#include <cstdio>
#include <string_view>

namespace DevHost {

// Puts stdout and stderr into byte mode, so received data and UTF-8 text
// come out exactly as written, and switches a real console to UTF-8.
void PrepareConsoleOutput();

// True when the stream is a console window rather than a file or a pipe.
bool IsConsole(std::FILE* stream);

// Writes text as UTF-8, whatever the stream is connected to.
void Print(std::FILE* stream, std::wstring_view text);

}  // namespace DevHost
