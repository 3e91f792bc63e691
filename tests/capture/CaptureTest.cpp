#include <gtest/gtest.h>
#include "Capture.h"

namespace {

using Capture::Block;
using Capture::Direction;

TEST(CaptureFormat, EveryByteValueSurvivesTheRoundTrip) {
    Block written;
    written.milliseconds = 123456789012ULL;
    written.direction = Direction::Out;
    for (int value = 0; value < 256; ++value) written.bytes.push_back(static_cast<char>(value));
    Block in{7, Direction::In, std::string("\0\r\n", 3)};
    std::string text = "# header\n\n" + Capture::FormatBlock(in) + Capture::FormatBlock(written);

    std::vector<Block> read;
    std::string error;
    ASSERT_TRUE(Capture::ParseCapture(text, read, error)) << error;
    ASSERT_EQ(read.size(), 2u);
    EXPECT_EQ(read[0].milliseconds, 7u);
    EXPECT_EQ(read[0].direction, Direction::In);
    EXPECT_EQ(read[0].bytes, in.bytes);
    EXPECT_EQ(read[1].milliseconds, written.milliseconds);
    EXPECT_EQ(read[1].direction, Direction::Out);
    EXPECT_EQ(read[1].bytes, written.bytes);
}

TEST(CaptureFormat, ToleratesWhatAnEditorLeaves) {
    std::vector<Block> read;
    std::string error;
    ASSERT_TRUE(Capture::ParseCapture("  # note\r\n10\tin 0a 0B \r\n\r\n20 in ff", read, error)) << error;
    ASSERT_EQ(read.size(), 2u);
    EXPECT_EQ(read[0].bytes, "\x0a\x0b");
    EXPECT_EQ(read[1].bytes, "\xff");
}

TEST(CaptureFormat, NamesTheLineAndTheFaultOfABrokenCapture) {
    struct Case {
        const char* text;
        const char* error;
    } cases[] = {
        {"x in 41\n", "line 1: the time \"x\" is not a whole number of milliseconds"},
        {"-5 in 41\n", "line 1: the time \"-5\" is not a whole number of milliseconds"},
        {"99999999999999999999 in 41\n", "line 1: the time \"99999999999999999999\" is not a whole number of milliseconds"},
        {"# h\n5 sideways 41\n", "line 2: the direction \"sideways\" is neither in nor out"},
        {"5 in 4\n", "line 1: \"4\" is not a byte in two hex digits"},
        {"5 in 4g\n", "line 1: \"4g\" is not a byte in two hex digits"},
        {"5 in 414\n", "line 1: \"414\" is not a byte in two hex digits"},
        {"5 in\n", "line 1: the block has no bytes"},
        {"9 in 41\n8 out 42\n", "line 2: the time goes back"},
    };
    for (const Case& c : cases) {
        std::vector<Block> read;
        std::string error;
        EXPECT_FALSE(Capture::ParseCapture(c.text, read, error)) << c.text;
        EXPECT_EQ(error, c.error) << c.text;
    }
}

}  // namespace
