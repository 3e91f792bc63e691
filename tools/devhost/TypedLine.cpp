#include "TypedLine.h"
#include "Utf8.h"

namespace DevHost {
namespace {

int HexDigit(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;
}

bool DecodeHexLine(std::wstring_view line, std::vector<uint8_t>& bytes, std::wstring& error) {
    std::wstring digits;
    for (wchar_t c : line) {
        if (c == L' ' || c == L'\t') continue;
        if (HexDigit(c) < 0) {
            error = L"\"" + std::wstring(1, c) + L"\" is not a hex digit";
            return false;
        }
        digits += c;
    }
    if (digits.size() % 2 != 0) {
        error = L"an odd number of hex digits; each byte takes two";
        return false;
    }
    for (size_t i = 0; i < digits.size(); i += 2) {
        bytes.push_back(static_cast<uint8_t>(HexDigit(digits[i]) * 16 + HexDigit(digits[i + 1])));
    }
    return true;
}

}  // namespace

bool EncodeTypedLine(std::wstring_view line, bool hex, const std::string& lineEnding, std::vector<uint8_t>& bytes,
                     std::wstring& error) {
    bytes.clear();
    if (hex) {
        if (!DecodeHexLine(line, bytes, error)) {
            bytes.clear();
            return false;
        }
    } else {
        std::string text = ToUtf8(line);
        bytes.assign(text.begin(), text.end());
    }
    bytes.insert(bytes.end(), lineEnding.begin(), lineEnding.end());
    return true;
}

}  // namespace DevHost
