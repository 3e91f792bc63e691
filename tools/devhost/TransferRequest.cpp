#include "TransferRequest.h"
#include <windows.h>
#include "win32/UniqueHandle.h"

namespace DevHost {
namespace {

int HexDigit(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    const wchar_t lower = c | 0x20;
    return lower >= L'a' && lower <= L'f' ? lower - L'a' + 10 : -1;
}

void AppendText(std::vector<uint8_t>& bytes, std::wstring_view text) {
    std::string utf8 = ToUtf8(text);
    bytes.insert(bytes.end(), utf8.begin(), utf8.end());
}

}  // namespace

bool ReadTransferFile(const std::wstring& path, std::vector<uint8_t>& bytes, std::wstring& error) {
    Win32::CUniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file.IsValid() || !GetFileSizeEx(file.Get(), &size)) {
        error = L"cannot read " + path + L" (error " + std::to_wstring(GetLastError()) + L")";
        return false;
    }
    if (size.QuadPart > INT32_MAX) {
        error = path + L" is too large to send in one request (2 GiB at most)";
        return false;
    }
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    if (!bytes.empty() && (!ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) ||
                           read != bytes.size())) {
        error = L"cannot read " + path + L" whole";
        return false;
    }
    return true;
}

bool DecodeSayText(std::wstring_view text, std::vector<uint8_t>& bytes, std::wstring& error) {
    bytes.clear();
    size_t plainStart = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != L'\\') continue;
        AppendText(bytes, text.substr(plainStart, i - plainStart));
        const wchar_t escape = i + 1 < text.size() ? text[i + 1] : L'\0';
        const size_t simple = std::wstring_view(L"rnt\\").find(escape);
        const bool hex =
            escape == L'x' && i + 3 < text.size() && HexDigit(text[i + 2]) >= 0 && HexDigit(text[i + 3]) >= 0;
        if (simple == std::wstring::npos && !hex) {
            error = L"unknown escape in \"" + std::wstring(text) + L"\"; use \\r \\n \\t \\\\ or \\xHH";
            return false;
        }
        const int value = hex ? HexDigit(text[i + 2]) * 16 + HexDigit(text[i + 3]) : "\r\n\t\\"[simple];
        bytes.push_back(static_cast<uint8_t>(value));
        i += hex ? 3 : 1;
        plainStart = i + 1;
    }
    AppendText(bytes, text.substr(plainStart));
    return true;
}

bool EncodeTypedLine(std::wstring_view line, bool hex, const std::string& lineEnding, std::vector<uint8_t>& bytes,
                     std::wstring& error) {
    bytes.clear();
    if (!hex) AppendText(bytes, line);
    int high = -1;
    for (wchar_t c : hex ? line : std::wstring_view()) {
        const int digit = HexDigit(c);
        if (c == L' ' || c == L'\t') continue;
        if (digit < 0) {
            error = L"\"" + std::wstring(1, c) + L"\" is not a hex digit";
            return false;
        }
        if (high >= 0) bytes.push_back(static_cast<uint8_t>(high * 16 + digit));
        high = high >= 0 ? -1 : digit;
    }
    if (high >= 0) {
        error = L"an odd number of hex digits; each byte takes two";
        return false;
    }
    bytes.insert(bytes.end(), lineEnding.begin(), lineEnding.end());
    return true;
}

}  // namespace DevHost
