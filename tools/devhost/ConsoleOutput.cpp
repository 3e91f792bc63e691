#include "ConsoleOutput.h"
#include <fcntl.h>
#include <io.h>
#include <algorithm>

namespace DevHost {

// WriteConsoleW refuses very long writes on some Windows versions.
constexpr size_t kConsoleWriteChars = 8192;

size_t WholeCharactersLength(std::string_view bytes) {
    for (size_t back = 1; back <= 3 && back <= bytes.size(); ++back) {
        const unsigned char byte = static_cast<unsigned char>(bytes[bytes.size() - back]);
        if ((byte & 0xC0) == 0x80) continue;
        const size_t needed = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
        return needed > back ? bytes.size() - back : bytes.size();
    }
    return bytes.size();
}

std::string ToUtf8(std::wstring_view text) {
    const int length = static_cast<int>(text.size());
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), length, bytes.data(), size, nullptr, nullptr);
    return bytes;
}

std::wstring FromUtf8(std::string_view bytes) {
    const int length = static_cast<int>(bytes.size());
    const int size = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), length, nullptr, 0);
    std::wstring text(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, bytes.data(), length, text.data(), size);
    return text;
}

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

void Print(std::FILE* stream, std::wstring_view text) { CTextOut(stream).Write(ToUtf8(text)); }

void Complain(const std::wstring& text) {
    std::wstring lines = L"devhost: ";
    for (wchar_t c : text) lines += c == L'\n' ? std::wstring(L"\ndevhost: ") : std::wstring(1, c);
    Print(stderr, lines + L"\n");
}

std::wstring Counted(uint64_t count, const wchar_t* noun) {
    return std::to_wstring(count) + L" " + noun + (count == 1 ? L"" : L"s");
}

void CTextOut::Write(std::string_view utf8) {
    if (m_console) {
        m_held.append(utf8);
        const size_t whole = WholeCharactersLength(m_held);
        WriteConsoleText(m_console, FromUtf8(std::string_view(m_held).substr(0, whole)));
        m_held.erase(0, whole);
        return;
    }
    std::fwrite(utf8.data(), 1, utf8.size(), m_stream);
    // Not every C runtime leaves stderr unbuffered on a pipe, and a person
    // or a script watching the exchange needs each line as it happens.
    std::fflush(m_stream);
}

void CTextOut::Finish() {
    if (m_console) WriteConsoleText(m_console, FromUtf8(m_held));
    m_held.clear();
}

}  // namespace DevHost
