#include "serial/LineErrors.h"
#include <cwchar>
#include <initializer_list>
#include "win32/Trace.h"

namespace Serial {

namespace {

// Appends "count what" to the text, after ", " when it holds a part
// already. The caller's text has room for every part.
void Append(wchar_t* text, size_t size, uint32_t count, const wchar_t* what) {
    if (count == 0) return;
    const size_t used = std::wcslen(text);
    std::swprintf(text + used, size - used, L"%ls%lu %ls", used == 0 ? L"" : L", ", static_cast<unsigned long>(count),
                  what);
}

void Count(DWORD errors, DWORD flag, uint32_t& counter) {
    if ((errors & flag) != 0) ++counter;
}

}  // namespace

void CLineErrors::Reset(const wchar_t* path) {
    m_path = path;
    m_totals = Counts{};
    m_unsaid = Counts{};
    m_traced = false;
}

void CLineErrors::Add(DWORD errors, ULONGLONG now) {
    const DWORD known = CE_OVERRUN | CE_RXOVER | CE_FRAME | CE_RXPARITY | CE_BREAK;
    if ((errors & known) != 0) {
        for (Counts* counts : {&m_totals, &m_unsaid}) {
            Count(errors, CE_OVERRUN, counts->overrun);
            Count(errors, CE_RXOVER, counts->inputOverflow);
            Count(errors, CE_FRAME, counts->framing);
            Count(errors, CE_RXPARITY, counts->parity);
            Count(errors, CE_BREAK, counts->breaks);
        }
    }
    if (m_unsaid.Any() && (!m_traced || now - m_lastLine >= kTraceIntervalMilliseconds)) TraceSinceLastLine(now);
}

// Framing and parity errors are what a wrong speed looks like from the
// receiving end; the two losses are the driver's or the hardware's.
void CLineErrors::TraceSinceLastLine(ULONGLONG now) {
    wchar_t said[400] = L"";
    const size_t size = sizeof said / sizeof said[0];
    const Counts& c = m_unsaid;
    Append(said, size, c.overrun, L"overrun (bytes were lost: the port's hardware could not keep up)");
    Append(said, size, c.inputOverflow, L"input overflow (bytes were lost: the driver's input queue was full)");
    Append(said, size, c.framing + c.parity,
           L"framing or parity (the instrument probably sends at another speed or framing than the settings)");
    Append(said, size, c.breaks, L"break (the line was held at space)");
    Win32::Trace(L"%ls: line errors: %ls", m_path, said);
    m_unsaid = Counts{};
    m_lastLine = now;
    m_traced = true;
}

void CLineErrors::TraceTotals() {
    if (!m_totals.Any()) return;
    const Counts& c = m_totals;
    Win32::Trace(L"%ls%lsoverrun %lu, input overflow %lu, framing %lu, parity %lu, break %lu", m_path, kTotalsMark,
          static_cast<unsigned long>(c.overrun), static_cast<unsigned long>(c.inputOverflow),
          static_cast<unsigned long>(c.framing), static_cast<unsigned long>(c.parity),
          static_cast<unsigned long>(c.breaks));
}

}  // namespace Serial
