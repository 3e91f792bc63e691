#include <gtest/gtest.h>
#include "settings/DecimalText.h"

namespace {

struct ParseCase {
    const wchar_t* text;
    int32_t value;
};

class DecimalParse : public ::testing::TestWithParam<ParseCase> {};

TEST_P(DecimalParse, TextBecomesTheNumberItStartsWith) {
    EXPECT_EQ(Settings::ParseDecimal(GetParam().text), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, DecimalParse,
    ::testing::Values(ParseCase{L"10", 10}, ParseCase{L"  42x", 42}, ParseCase{L"\t\r\n 5", 5}, ParseCase{L"abc", 0},
                      ParseCase{L"", 0}, ParseCase{nullptr, 0}, ParseCase{L"-7", -7}, ParseCase{L"+8", 8},
                      ParseCase{L"- 7", 0}, ParseCase{L"--7", 0}, ParseCase{L"007", 7},
                      ParseCase{L"2147483647", 2147483647}, ParseCase{L"2147483648", 2147483647},
                      ParseCase{L"99999999999999999999999", 2147483647},
                      ParseCase{L"-2147483648", -2147483647 - 1}, ParseCase{L"-2147483649", -2147483647 - 1},
                      ParseCase{L"-99999999999999999999999", -2147483647 - 1},
                      ParseCase{L"12 34", 12}));

TEST(DecimalFormat, SignedDecimal) {
    EXPECT_EQ(Settings::FormatDecimal(10), L"10");
    EXPECT_EQ(Settings::FormatDecimal(-1), L"-1");
    EXPECT_EQ(Settings::FormatDecimal(-2147483647 - 1), L"-2147483648");
}

}  // namespace
