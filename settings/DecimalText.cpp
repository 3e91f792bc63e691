#include "settings/DecimalText.h"
#include <cwchar>
#include <limits>

namespace Settings {
namespace {

bool IsBlank(wchar_t c) { return c == L' ' || (c >= L'\t' && c <= L'\r'); }
bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

}  // namespace

Plugin::WideString FormatDecimal(int32_t value) {
    wchar_t text[16];
    std::swprintf(text, 16, L"%d", value);
    return text;
}

int32_t ParseDecimal(const wchar_t* text) {
    if (!text) return 0;
    while (IsBlank(*text)) ++text;
    const bool negative = *text == L'-';
    if (*text == L'-' || *text == L'+') ++text;

    // Accumulating the magnitude one past the largest bound is enough to
    // know the result is clamped; longer digit runs cannot overflow it.
    const int64_t limit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    int64_t magnitude = 0;
    for (; IsDigit(*text); ++text) {
        magnitude = magnitude * 10 + (*text - L'0');
        if (magnitude > limit) magnitude = limit;
    }
    const int64_t value = negative ? -magnitude : magnitude;
    if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(value);
}

}  // namespace Settings
