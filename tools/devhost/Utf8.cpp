#include "Utf8.h"
#include <windows.h>

namespace DevHost {
namespace {

// The length of the text without a character that its end cuts short.
size_t WholeCharactersLength(std::string_view bytes) {
    for (size_t back = 1; back <= 3 && back <= bytes.size(); ++back) {
        const unsigned char byte = static_cast<unsigned char>(bytes[bytes.size() - back]);
        if ((byte & 0xC0) == 0x80) continue;
        const size_t needed = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
        return needed > back ? bytes.size() - back : bytes.size();
    }
    return bytes.size();
}

}  // namespace

std::string ToUtf8(std::wstring_view text) {
    if (text.empty()) return {};
    int length = static_cast<int>(text.size());
    int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), length, bytes.data(), size, nullptr, nullptr);
    return bytes;
}

std::wstring FromUtf8(std::string_view bytes) {
    if (bytes.empty()) return {};
    int length = static_cast<int>(bytes.size());
    int size = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), length, nullptr, 0);
    std::wstring text(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, bytes.data(), length, text.data(), size);
    return text;
}

std::wstring CUtf8Decoder::Decode(std::string_view bytes) {
    m_held.append(bytes);
    const size_t whole = WholeCharactersLength(m_held);
    std::wstring text = FromUtf8(std::string_view(m_held).substr(0, whole));
    m_held.erase(0, whole);
    return text;
}

std::wstring CUtf8Decoder::Flush() {
    std::wstring text = FromUtf8(m_held);
    m_held.clear();
    return text;
}

}  // namespace DevHost
