#pragma once
#include <string>
#include "ExchangeSink.h"
#include "win32/CriticalSection.h"

namespace DevHost {

// "in 1234 B  out 24 B  960 B/s  quiet 0.4 s of 2 s"
std::wstring FormatStatus(const ExchangeReport& report, ULONGLONG now, int32_t waitSeconds);

// One line on stderr, rewritten in place; only on a console, where a person
// watches it. Data shown on the same console clears it first.
class CStatusLine {
public:
    CStatusLine();
    void Show(const std::wstring& text);
    void Clear();

private:
    const bool m_enabled;
    Win32::CriticalSection m_lock;
    size_t m_shownLength = 0;
};

}  // namespace DevHost
