#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "HuntPlan.h"
#include "HuntScore.h"
#include "LineModel.h"

namespace {

using namespace DevHost;

std::vector<uint8_t> Repeated(const std::string& text, int times) {
    std::string all;
    for (int i = 0; i < times; ++i) all += text;
    return {all.begin(), all.end()};
}

// A few seconds of a receiver's fixes.
const std::vector<uint8_t> kFixes = Repeated(
    "$GPGGA,123519.00,5956.0635,N,03020.1063,E,1,09,0.9,12.4,M,15.1,M,,*59\r\n"
    "$GPRMC,123519.00,A,5956.0635,N,03020.1063,E,24.0,78.3,101226,,,A*55\r\n"
    "$GPVTG,78.3,T,,M,24.0,N,44.4,K,A*33\r\n",
    6);
const std::vector<uint8_t> kTextLines = Repeated("ST,+0012.345 kg\r\n", 20);

std::vector<uint8_t> Binary() {
    std::vector<uint8_t> bytes;
    for (int i = 0; i < 600; ++i) bytes.push_back(static_cast<uint8_t>(i * 37 + 11));
    return bytes;
}

LineModel::Reading ReadAs(const char* sent, const char* read, const std::vector<uint8_t>& data) {
    LineModel::Framing sending, reading;
    EXPECT_TRUE(LineModel::ParseFraming(sent, sending) && LineModel::ParseFraming(read, reading));
    return LineModel::Read(data.data(), data.size(), sending, reading);
}

// What the scorer is judged on: a line as a UART takes it.
TEST(LineModel, GarblesAsAUartDoesAndReadingFasterCanShowNoFramingError) {
    std::vector<uint8_t> all;
    for (int byte = 0; byte < 256; ++byte) all.push_back(static_cast<uint8_t>(byte));
    const LineModel::Reading same = ReadAs("115200 8N1", "115200 8N1", all);
    EXPECT_EQ(same.bytes, all);
    EXPECT_EQ(same.errors, 0u);
    const LineModel::Reading faster = ReadAs("4800 8N1", "9600 8N1", {0xFF, 0xFF});
    EXPECT_EQ(faster.bytes, (std::vector<uint8_t>{0xFE, 0xFE}));
    EXPECT_EQ(faster.errors, 0u) << "the idle line looks like stop bits";
    const LineModel::Reading parityAsStop = ReadAs("9600 8E1", "9600 8N1", kFixes);
    EXPECT_EQ(parityAsStop.bytes, kFixes);
    EXPECT_EQ(parityAsStop.errors, DWORD{CE_FRAME});
    EXPECT_EQ(ReadAs("9600 8N1", "9600 7O1", kFixes).errors, DWORD{CE_RXPARITY});
    EXPECT_EQ(ReadAs("4800 8N1", "38400 8N1", kFixes).errors, DWORD{CE_FRAME | CE_BREAK});
}

// Each try's bytes as a UART at the try's setting takes what the instrument
// sends at its own, with the errors the driver would report.
TEST(HuntScore, JudgesWhatALineAtTheWrongSettingMakesOfAnInstrumentsData) {
    struct Row {
        const char* sent;
        const char* read;
        const std::vector<uint8_t>& data;
        Verdict verdict;
    };
    const std::vector<uint8_t> binary = Binary();
    const Row rows[] = {
        {"38400 8N1", "38400 8N1", kFixes, Verdict::Convincing},
        {"4800 7E1", "4800 7E1", kFixes, Verdict::Convincing},
        {"9600 8N1", "9600 8N1", kTextLines, Verdict::Convincing},
        // One stop bit more is only a longer pause between characters.
        {"9600 8N2", "9600 8N1", kFixes, Verdict::Convincing},
        {"38400 8N1", "9600 8N1", kFixes, Verdict::Garbage},
        {"4800 8N1", "38400 8N1", kFixes, Verdict::Garbage},
        {"115200 8N1", "57600 8N1", kFixes, Verdict::Garbage},
        // At the instrument's speed the framing shows in what 8N1 reads.
        {"4800 7E1", "4800 8N1", kFixes, Verdict::SevenBitsEven},
        {"4800 7O1", "4800 8N1", kFixes, Verdict::SevenBitsOdd},
        {"9600 8E1", "9600 8N1", kFixes, Verdict::TextWithErrors},
        {"9600 8N1", "9600 7E1", kFixes, Verdict::TextWithErrors},
        // No error, yet nothing readable: no evidence either way.
        {"9600 8N1", "9600 8N1", binary, Verdict::CleanBinary},
    };
    for (const Row& row : rows) {
        const LineModel::Reading reading = ReadAs(row.sent, row.read, row.data);
        TryEvidence evidence{reading.bytes, reading.framingErrors + reading.parityErrors + reading.breaks, true,
                             row.read[std::string(row.read).find(' ') + 1] - '0'};
        EXPECT_EQ(ScoreTry(evidence).verdict, row.verdict) << row.sent << " read as " << row.read;
    }
    EXPECT_EQ(ScoreTry({}).verdict, Verdict::Silent);
    // Checksummed sentences convince even where the trace cannot be read;
    // a few clean characters do not.
    EXPECT_EQ(ScoreTry({kFixes, 0, false, 8}).verdict, Verdict::Convincing);
    EXPECT_EQ(ScoreTry({Repeated("$GP*00\r\n", 1), 0, true, 8}).verdict, Verdict::TooLittle);
}

TEST(HuntPlan, TriesTheStoredSettingThenEachSpeedAt8N1AndFirstWhatATryPointsAt) {
    const OfferedValues offered{{110, 300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 38400, 56000, 57600, 115200,
                                 128000, 256000},
                                {5, 6, 7, 8},
                                {0, 1, 2, 3, 4},
                                {0, 1, 2}};
    CHuntPlan plan({9600, 8, 0, 0}, offered, false);
    std::vector<std::wstring> tried;
    while (const auto setting = plan.Next()) {
        tried.push_back(DescribeSetting(*setting));
        if (tried.back() == L"4800 8N1") plan.Judged(*setting, Verdict::SevenBitsEven);
    }
    const std::vector<std::wstring> expected = {
        L"9600 8N1", L"4800 8N1", L"4800 7E1", L"4800 8E1", L"4800 7O1", L"4800 8O1", L"4800 8N2", L"19200 8N1",
        L"38400 8N1", L"115200 8N1", L"57600 8N1", L"2400 8N1", L"1200 8N1", L"110 8N1", L"300 8N1", L"600 8N1",
        L"14400 8N1", L"56000 8N1", L"128000 8N1", L"256000 8N1"};
    EXPECT_EQ(tried, expected);
    CHuntPlan bluetooth({4800, 7, 2, 0}, offered, true);
    EXPECT_EQ(DescribeSetting(*bluetooth.Next()), L"4800 7E1");
    EXPECT_FALSE(bluetooth.Next());
}

}  // namespace
