#include "ConsoleOutput.h"
#include <fcntl.h>
#include <io.h>
#include <algorithm>

namespace DevHost {
namespace {

// WriteConsoleW refuses very long writes on some Windows versions.
constexpr size_t kConsoleWriteChars = 8192;

}  // namespace

void PrepareConsoleOutput() {
    // Text mode would turn every received LF into CR LF.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
}

HANDLE ConsoleOf(std::FILE* stream) {
    // NOLINTNEXTLINE(performance-no-int-to-ptr): the CRT hands the handle out as an integer
    HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) != 0 ? handle : nullptr;
}

void WriteConsoleText(HANDLE console, std::wstring_view text) {
    while (!text.empty()) {
        const DWORD count = static_cast<DWORD>(std::min(text.size(), kConsoleWriteChars));
        DWORD written = 0;
        if (!WriteConsoleW(console, text.data(), count, &written, nullptr) || written == 0) return;
        text.remove_prefix(written);
    }
}

void Print(std::FILE* stream, std::wstring_view text) {
    if (HANDLE console = ConsoleOf(stream)) {
        std::fflush(stream);
        WriteConsoleText(console, text);
        return;
    }
    std::string bytes = ToUtf8(text);
    std::fwrite(bytes.data(), 1, bytes.size(), stream);
    // Not every C runtime leaves stderr unbuffered on a pipe, and a person
    // or a script watching the exchange needs each line as it happens.
    std::fflush(stream);
}

void CTextOut::Write(std::string_view utf8) {
    if (m_console) {
        WriteConsoleText(m_console, m_decoder.Decode(utf8));
        return;
    }
    std::fwrite(utf8.data(), 1, utf8.size(), m_stream);
    std::fflush(m_stream);
}

void CTextOut::Finish() {
    if (m_console) WriteConsoleText(m_console, m_decoder.Flush());
}

}  // namespace DevHost
