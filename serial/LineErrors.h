#pragma once
#include <windows.h>
#include <cstdint>
#include "plugin_api/SharedConstants.h"

namespace Serial {

// What the driver's error word (ClearCommError) says of the received bytes,
// counted over one exchange and said in the trace: bytes lost to an overrun
// or a full input queue, characters that did not fit the line settings (the
// commonest sign of a wrong speed), a break. Each status call that reports
// a kind counts once. While errors go on, one trace line a second at most
// says what came since the last; at the end one line gives the totals.
// Only the worker uses it.
class CLineErrors {
public:
    static constexpr ULONGLONG kTraceIntervalMilliseconds = 1000;
    // How the totals line at the end of an exchange starts, after the port's
    // name; devhost shows it with the exchange's end.
    static constexpr const wchar_t* kTotalsMark = Shared::kLineErrorTotals;

    struct Counts {
        uint32_t overrun = 0;        // CE_OVERRUN: the port's hardware lost bytes
        uint32_t inputOverflow = 0;  // CE_RXOVER: the driver's input queue was full
        uint32_t framing = 0;        // CE_FRAME
        uint32_t parity = 0;         // CE_RXPARITY
        uint32_t breaks = 0;         // CE_BREAK
        bool Any() const { return overrun || inputOverflow || framing || parity || breaks; }
    };

    // A new exchange on the port at path.
    void Reset(const wchar_t* path);
    // The error word of one status call, made at the time now.
    void Add(DWORD errors, ULONGLONG now);
    // Says the totals, when there were any; they hold the errors that no
    // line has said yet.
    void TraceTotals();
    const Counts& Totals() const { return m_totals; }

private:
    void TraceSinceLastLine(ULONGLONG now);

    const wchar_t* m_path = L"";
    Counts m_totals;
    Counts m_unsaid;
    ULONGLONG m_lastLine = 0;
    bool m_traced = false;
};

}  // namespace Serial
