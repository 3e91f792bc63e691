#include <gtest/gtest.h>
#include <windows.h>
#include <string>
#include "Checker.h"
#include "GnssTrack.h"
#include "InstrumentCommand.h"
#include "Nmea.h"

namespace {

SYSTEMTIME NearMidnight() {
    SYSTEMTIME time{};
    time.wYear = 2024, time.wMonth = 12, time.wDay = 31, time.wHour = 23, time.wMinute = 59, time.wSecond = 59;
    return time;
}

TEST(Nmea, ChecksumsMatchTheStandardsExample) {
    EXPECT_EQ(Nmea::Sentence("GPGLL,5300.97914,N,00259.98174,E,125926,A"),
              "$GPGLL,5300.97914,N,00259.98174,E,125926,A*28\r\n");
    EXPECT_TRUE(Nmea::IsIntact("$PSIM,RATE,10*04"));
    for (const char* bad : {"$PSIM,RATE,10*05", "$PSIM,RATE,11*04", "PSIM,RATE,10*04", "$PSIM,RATE,10*4",
                            "$PSIM,RATE,10", "$PS\x01M*00", "$*00x", ""}) {
        EXPECT_FALSE(Nmea::IsIntact(bad)) << bad;
    }
}

TEST(Nmea, EveryFixIsFourIntactSentencesAndThePositionMoves) {
    CGnssTrack track(NearMidnight());
    std::string first = track.Epoch(0.0), later = track.Epoch(1.5);
    RecordingSummary summary = CheckRecording(first + later);
    EXPECT_EQ(summary.sentences, 8u);
    EXPECT_EQ(summary.damaged, 0u);
    EXPECT_EQ(summary.byType["GGA"], 2u);
    EXPECT_EQ(summary.byType["RMC"], 2u);
    EXPECT_NE(first.substr(17, 24), later.substr(17, 24)) << "latitude and longitude of the GGA";
    EXPECT_NE(later.find("$GPGGA,000000.50,"), std::string::npos) << "the clock runs past midnight";
    EXPECT_NEAR(summary.durationSeconds, 3.0, 1e-6) << "1.5 s between the fixes, plus one interval";
}

TEST(Checker, DamagedAndCutOffLinesAreCounted) {
    std::string good = Nmea::Sentence("GPGSA,A,3,,,,,,,,,,,,,1.6,0.9,1.3");
    std::string flipped = good;
    flipped[8] ^= 0x01;
    std::string noCr = good.substr(0, good.size() - 2) + "\n";
    RecordingSummary summary = CheckRecording(good + flipped + noCr + good.substr(0, 10));
    EXPECT_EQ(summary.sentences, 1u);
    EXPECT_EQ(summary.damaged, 3u);
    EXPECT_EQ(summary.bytes, 3 * good.size() - 1 + 10);
    EXPECT_NE(FormatSummary(summary, 9600).find("3 damaged"), std::string::npos);
    EXPECT_EQ(CheckRecording("").sentences, 0u);
}

TEST(Checker, SummaryComparesTheRateWithTheLine) {
    RecordingSummary summary;
    summary.bytes = 4800;
    summary.sentences = 10;
    summary.durationSeconds = 2.0;
    std::string text = FormatSummary(summary, 38400);
    EXPECT_NE(text.find("2400 B/s of the 3840 B/s a line at 38400 baud"), std::string::npos) << text;
    EXPECT_NE(text.find("(62 %)"), std::string::npos) << text;
    EXPECT_NE(text.find("yes"), std::string::npos);
}

TEST(InstrumentCommand, AnswersItsOneCommandAndRefusesTheRest) {
    struct Case {
        const char* line;
        const char* answer;
        int rate;
    } cases[] = {
        {"$PSIM,RATE,10*04", "$PSIM,ACK,RATE,10*", 10},
        {"$PSIM,RATE,5", "$PSIM,ACK,RATE,5*", 5},
        {"$PSIM,RATE,10*05", "$PSIM,NAK,CHECKSUM*", 1},
        {"$PSIM,RATE,0", "$PSIM,NAK,RATE*", 1},
        {"$PSIM,RATE,21", "$PSIM,NAK,RATE*", 1},
        {"$PSIM,BAUD,4800", "$PSIM,NAK,UNKNOWN*", 1},
        {"hello", "", 1},
    };
    for (const Case& c : cases) {
        int rate = 1;
        std::string answer = AnswerHostLine(c.line, rate);
        EXPECT_EQ(answer.substr(0, std::string(c.answer).size()), c.answer) << c.line;
        if (!answer.empty()) {
            EXPECT_TRUE(Nmea::IsIntact(answer.substr(0, answer.size() - 2))) << c.line;
        }
        EXPECT_EQ(rate, c.rate) << c.line;
    }
}

}  // namespace
