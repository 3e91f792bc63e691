#pragma once
#include <windows.h>
#include <cstdint>
#include <string>
#include "ExchangeReport.h"
#include "win32/CriticalSection.h"

namespace DevHost {

// "in 1234 B  out 24 B  960 B/s  quiet 0.4 s of 2 s"
std::wstring FormatStatus(const ExchangeReport& report, ULONGLONG now, int32_t waitSeconds);

// One line on stderr, rewritten in place; only on a console, where a person
// watches it. Data shown on the same console clears it first.
class CStatusLine {
public:
    // How often receive and term refresh it: often enough to follow a
    // transfer, seldom enough not to load a console.
    static constexpr DWORD kIntervalMilliseconds = 250;

    CStatusLine();
    void Show(const std::wstring& text);
    void Clear();

private:
    const bool m_enabled;
    Win32::CriticalSection m_lock;
    size_t m_shownLength = 0;
};

}  // namespace DevHost
