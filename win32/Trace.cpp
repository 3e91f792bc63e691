#include "win32/Trace.h"
#include <windows.h>
#include <atomic>
#include <cstdarg>
#include <cwchar>

namespace Win32 {

namespace {
std::atomic<TraceCopy> g_copy{nullptr};
}

void SetTraceCopy(TraceCopy copy) { g_copy = copy; }

void Trace(const wchar_t* format, ...) {
    constexpr size_t kLength = 512;
    constexpr wchar_t kPrefix[] = L"DeviceCommon: ";
    constexpr size_t kPrefixLength = sizeof kPrefix / sizeof kPrefix[0] - 1;
    wchar_t line[kLength];
    std::wmemcpy(line, kPrefix, kPrefixLength);
    va_list arguments;
    va_start(arguments, format);
    // Leaves room for the line's end.
    const int written = std::vswprintf(line + kPrefixLength, kLength - kPrefixLength - 1, format, arguments);
    va_end(arguments);
    const size_t end = written < 0 ? kLength - 2 : kPrefixLength + static_cast<size_t>(written);
    line[end] = L'\n';
    line[end + 1] = L'\0';
    OutputDebugStringW(line);
    if (const TraceCopy copy = g_copy.load()) copy(line);
}

}  // namespace Win32
