#include "ConsoleOutput.h"
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include "Utf8.h"

namespace DevHost {

void PrepareConsoleOutput() {
    // Text mode would turn every received LF into CR LF.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    if (IsConsole(stdout) || IsConsole(stderr)) SetConsoleOutputCP(CP_UTF8);
}

bool IsConsole(std::FILE* stream) {
    // NOLINTNEXTLINE(performance-no-int-to-ptr): the CRT hands the handle out as an integer
    HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) != 0;
}

void Print(std::FILE* stream, std::wstring_view text) {
    std::string bytes = ToUtf8(text);
    std::fwrite(bytes.data(), 1, bytes.size(), stream);
    // Not every C runtime leaves stderr unbuffered on a pipe, and a person
    // or a script watching the exchange needs each line as it happens.
    std::fflush(stream);
}

}  // namespace DevHost
