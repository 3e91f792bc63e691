// The trace of line errors while they go on: one line a second at most,
// each saying what came since the last, and nothing on a clean line.
#include <gtest/gtest.h>
#include "TraceLines.h"
#include "serial/LineErrors.h"

namespace {

TEST(LineErrors, GoingOnTheyAreSaidOnceASecondWithWhatCameSinceTheLastLine) {
    CTraceLines trace;
    Serial::CLineErrors errors;
    errors.Reset(L"COM7");
    errors.Add(0, 0);
    EXPECT_TRUE(trace.All().empty()) << "a clean line says nothing";
    for (ULONGLONG now = 10; now < 1000; now += 10) errors.Add(CE_FRAME, now);
    errors.Add(CE_OVERRUN | CE_FRAME, 1010);
    errors.Add(CE_BREAK, 1020);

    const auto lines = trace.With(L"COM7: line errors: ");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find(L"1 framing or parity (the instrument probably sends at another speed"), std::wstring::npos);
    EXPECT_NE(lines[1].find(L"1 overrun (bytes were lost"), std::wstring::npos) << lines[1];
    EXPECT_NE(lines[1].find(L"99 framing or parity"), std::wstring::npos) << lines[1];

    errors.TraceTotals();
    const auto totals = trace.With(Serial::CLineErrors::kTotalsMark);
    ASSERT_EQ(totals.size(), 1u);
    EXPECT_NE(totals[0].find(L"overrun 1, input overflow 0, framing 100, parity 0, break 1"), std::wstring::npos);
}

}  // namespace
