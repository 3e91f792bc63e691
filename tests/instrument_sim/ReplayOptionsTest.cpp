#include <gtest/gtest.h>
#include "ReplayOptions.h"

namespace {

TEST(ReplayOptions, TakesAFractionalSpeedAndRefusesWhatCannotBeMeant) {
    ReplayOptions options;
    std::wstring error;
    ASSERT_TRUE(ParseReplayOptions({L"field.cap", L"COM6", L"--speed", L"0.5", L"--baud", L"38400"}, options, error));
    EXPECT_EQ(options.speed, 0.5);
    EXPECT_EQ(options.baud, 38400u);

    const std::vector<std::wstring> refused[] = {
        {L"field.cap"},
        {L"field.cap", L"COM6", L"--speed"},
        {L"field.cap", L"COM6", L"--speed", L"0"},
        {L"field.cap", L"COM6", L"--speed", L"-2"},
        {L"field.cap", L"COM6", L"--speed", L"2x"},
        {L"field.cap", L"COM6", L"--speed", L"inf"},
        {L"field.cap", L"COM6", L"--baud", L"9600.5"},
        {L"field.cap", L"COM6", L"--baud", L""},
        {L"field.cap", L"COM6", L"--seconds", L"4"},
    };
    for (const auto& arguments : refused) {
        EXPECT_FALSE(ParseReplayOptions(arguments, options, error)) << arguments.back();
        EXPECT_FALSE(error.empty());
    }
}

}  // namespace
