#include <gtest/gtest.h>
#include <vector>
#include "CommandLine.h"
#include "ConsoleOutput.h"
#include "SessionScreen.h"
#include "TransferRequest.h"

namespace {

using namespace DevHost;

TEST(SayText, EscapesGiveTheBytesACommandLineCannotCarry) {
    const struct {
        const wchar_t* text;
        std::string bytes;
    } cases[] = {
        {L"$PSIM,RATE,5\\r\\n", "$PSIM,RATE,5\r\n"},
        {L"a\\tb\\\\c", "a\tb\\c"},
        {L"\\x00\\x7f\\xFF", std::string("\0\x7f\xff", 3)},
        {L"Порт", u8"Порт"},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> bytes;
        std::wstring error;
        ASSERT_TRUE(DecodeSayText(c.text, bytes, error)) << c.text;
        EXPECT_EQ(std::string(bytes.begin(), bytes.end()), c.bytes) << c.text;
    }
    for (const wchar_t* bad : {L"\\q", L"end\\", L"\\x4", L"\\xg0"}) {
        std::vector<uint8_t> bytes;
        std::wstring error;
        EXPECT_FALSE(DecodeSayText(bad, bytes, error)) << bad;
    }
}

TEST(HexDump, ShowsStreamOffsetsHexAndPrintableText) {
    const uint8_t bytes[] = "$GPGGA,1*5B\r\n0123456789";
    EXPECT_EQ(HexDump(bytes, sizeof bytes - 1, 0x20),
              "00000020  24 47 50 47 47 41 2c 31 2a 35 42 0d 0a 30 31 32  |$GPGGA,1*5B..012|\n"
              "00000030  33 34 35 36 37 38 39                             |3456789|\n");
    EXPECT_EQ(HexDump(bytes, 0, 0), "");
}

// A value is never read as an option or a command; each command refuses
// what is not its own.
TEST(CommandLine, CommonOptionsStandAnywhereAndValuesAreNotOptions) {
    CommandLine line;
    std::wstring error;
    ASSERT_TRUE(ParseCommandLine({L"--settings", L"C:\\x\\a.ini", L"receive", L"--say", L"--help", L"--dll",
                                  L"D.dll", L"--send", L"f.bin", L"--say", L"b"},
                                 line, error));
    EXPECT_EQ(line.command, L"receive");
    EXPECT_EQ(line.settingsPath, L"C:\\x\\a.ini");
    EXPECT_EQ(line.dllPath, L"D.dll");
    EXPECT_FALSE(line.help) << "--help here is the text to say";
    using Given = std::pair<std::wstring, std::wstring>;
    EXPECT_EQ(line.options, (std::vector<Given>{{L"--say", L"--help"}, {L"--send", L"f.bin"}, {L"--say", L"b"}}));
    EXPECT_EQ(line.Value(L"--say"), L"b");
    EXPECT_TRUE(TakesAll(line, 0));

    CommandLine bare;
    ASSERT_TRUE(ParseCommandLine({L"term", L"--help", L"--out", L"x"}, bare, error));
    EXPECT_TRUE(bare.help);
    EXPECT_NE(bare.settingsPath.find(L"devhost.ini"), std::wstring::npos);
    EXPECT_NE(bare.settingsPath.find(L'\\'), std::wstring::npos) << "made absolute";
    EXPECT_FALSE(TakesAll(bare, 0)) << "--out is receive's";
    ASSERT_TRUE(ParseCommandLine({L"doctor", L"COM5", L"--x"}, bare, error));
    EXPECT_FALSE(TakesAll(bare, 1)) << "an unknown option is no port name";
    EXPECT_FALSE(ParseCommandLine({L"info", L"--dll"}, bare, error));
}

// tests/devhost/e2e.sh term_pipe sends lines with each --eol and in hex.
TEST(TermInput, TextGetsTheLineEndingAndHexIsTheBytesTyped) {
    const struct {
        bool hex;
        const char* ending;
        const wchar_t* line;
        bool sent;
        std::string bytes;
    } cases[] = {
        {false, "\r\n", L"", true, "\r\n"},
        {true, "", L"24 50 0d0A", true, "$P\r\n"},
        {true, "\r", L"41", true, "A\r"},
        {true, "", L"4 1 2", false, ""},
        {true, "", L"41 zz", false, ""},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> bytes;
        std::wstring error;
        EXPECT_EQ(EncodeTypedLine(c.line, c.hex, c.ending, bytes, error), c.sent) << c.line;
        if (c.sent) {
            EXPECT_EQ(std::string(bytes.begin(), bytes.end()), c.bytes) << c.line;
        }
    }
}

// Blocks may split a CR LF; control bytes must not reach the console raw.
TEST(VisibleText, LineEndsBreakLinesAndOtherControlBytesShowAsHex) {
    const struct {
        std::vector<std::string> blocks;
        std::string shown;
    } cases[] = {
        {{"a\r", "\nb\r\n"}, "a\nb\n"},
        {{"x\ry\nz"}, "x\ny\nz"},
        {{"\n\r"}, "\n\n"},
        {{std::string("\0\x07\x1b[2J\t\x7f\xd0\x9f", 10)}, "<0x00><0x07><0x1B>[2J\t<0x7F>\xd0\x9f"},
    };
    for (const auto& c : cases) {
        bool afterCr = false;
        std::string shown;
        for (const std::string& block : c.blocks) {
            shown += VisibleText(reinterpret_cast<const uint8_t*>(block.data()), block.size(), afterCr);
        }
        EXPECT_EQ(shown, c.shown);
    }
}

// An instrument's block may end inside a character: the console must get
// it whole with the next block, not as two replacement marks.
TEST(Utf8Decoder, ACharacterCutBetweenBlocksIsDecodedWhole) {
    EXPECT_EQ(WholeCharactersLength("\xD0\x96\xD1"), 2u);
    EXPECT_EQ(WholeCharactersLength("\xD1\x83\xE2\x82"), 2u);
    EXPECT_EQ(WholeCharactersLength("\xE2\x82\xAC!"), 4u);
    EXPECT_EQ(WholeCharactersLength("\xF0\x9F\x98"), 0u);
    EXPECT_EQ(FromUtf8("\xD0\x96\xE2\x82"), L"Ж\xFFFD") << "a character cut for good still shows";
}

}  // namespace
