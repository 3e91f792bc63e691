#include "HuntScore.h"
#include <algorithm>
#include <cwchar>

namespace DevHost {
namespace {

// Fewer bytes than this say nothing of a setting: a wrong slow speed can
// make a handful of characters out of a whole burst.
constexpr size_t kJudgeableBytes = 16;
// One report is allowed to a setting that reads: the open itself can garble
// the character on the line at that moment.
constexpr unsigned kToleratedReports = 1;
constexpr double kTextLike = 0.9;
constexpr double kCleanText = 0.98;
constexpr double kParityPattern = 0.97;
constexpr unsigned kCleanLines = 3;
constexpr size_t kLongestLine = 512;
// NMEA 0183 limits a sentence to 82 characters; some receivers' own run longer.
constexpr size_t kLongestSentence = 128;

bool IsText(uint8_t byte) { return (byte >= 0x20 && byte < 0x7F) || byte == '\r' || byte == '\n' || byte == '\t'; }

int HexDigit(uint8_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Every "$...*hh" or "!...*hh" within one line: its checksum is the XOR of
// the characters between the mark and the star.
void CountSentences(const std::vector<uint8_t>& bytes, TryScore& score) {
    for (size_t start = 0; start < bytes.size(); ++start) {
        if (bytes[start] != '$' && bytes[start] != '!') continue;
        uint8_t sum = 0;
        size_t at = start + 1;
        for (; at < bytes.size() && at - start < kLongestSentence; ++at) {
            const uint8_t c = bytes[at];
            if (c == '*' || c == '$' || c == '!' || c == '\r' || c == '\n') break;
            sum ^= c;
        }
        if (at + 2 >= bytes.size() || bytes[at] != '*') continue;
        const int high = HexDigit(bytes[at + 1]);
        const int low = HexDigit(bytes[at + 2]);
        if (high < 0 || low < 0) continue;
        ++(sum == high * 16 + low ? score.sentencesRight : score.sentencesWrong);
        start = at + 2;
    }
}

// Lines end at LF, or at a CR that no LF follows; the longest tells text from noise that has line ends in it.
size_t CountLines(const std::vector<uint8_t>& bytes, TryScore& score) {
    size_t longest = 0;
    size_t length = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
        const bool ends = bytes[i] == '\n' || (bytes[i] == '\r' && (i + 1 == bytes.size() || bytes[i + 1] != '\n'));
        if (bytes[i] == '\r' && !ends) continue;
        if (!ends) {
            longest = std::max(longest, ++length);
            continue;
        }
        if (length > 0) ++score.lines;
        length = 0;
    }
    return std::max(longest, length);
}

// Seven data bits and a parity bit fill the same ten bit times as eight
// data bits: read as eight, the parity shows as the 8th bit of text.
Verdict SevenBitsPattern(const std::vector<uint8_t>& bytes) {
    size_t maskedText = 0;
    size_t evenParity = 0;
    for (const uint8_t byte : bytes) {
        maskedText += IsText(byte & 0x7F);
        unsigned ones = 0;
        for (uint8_t low = byte & 0x7F; low != 0; low &= low - 1) ++ones;
        evenParity += ((byte >> 7) == (ones & 1));
    }
    const double count = static_cast<double>(bytes.size());
    if (maskedText < kCleanText * count) return Verdict::Garbage;
    if (evenParity >= kParityPattern * count) return Verdict::SevenBitsEven;
    if (count - evenParity >= kParityPattern * count) return Verdict::SevenBitsOdd;
    return Verdict::Garbage;
}

}  // namespace

TryScore ScoreTry(const TryEvidence& evidence) {
    const std::vector<uint8_t>& bytes = evidence.bytes;
    TryScore score;
    score.bytes = bytes.size();
    score.lineErrors = evidence.garbledReports;
    if (bytes.empty()) {
        score.verdict = score.lineErrors > 0 ? Verdict::Garbage : Verdict::Silent;
        return score;
    }
    score.textShare = static_cast<double>(std::count_if(bytes.begin(), bytes.end(), IsText)) / bytes.size();
    const size_t longestLine = CountLines(bytes, score);
    CountSentences(bytes, score);
    if (bytes.size() < kJudgeableBytes) {
        score.verdict = Verdict::TooLittle;
        return score;
    }
    const bool clean = !evidence.errorsKnown || score.lineErrors <= kToleratedReports;
    const bool sentences = score.sentencesRight >= 2 && score.sentencesWrong * 10 <= score.sentencesRight;
    const bool lines = score.sentencesRight + score.sentencesWrong == 0 && score.textShare >= kCleanText &&
                       score.lines >= kCleanLines && longestLine <= kLongestLine;
    if (clean && (sentences || lines)) {
        score.verdict = Verdict::Convincing;
    } else if (!clean && (score.textShare >= kTextLike || score.sentencesRight >= 2)) {
        score.verdict = Verdict::TextWithErrors;
    } else if (const Verdict seven = evidence.dataBits == 8 ? SevenBitsPattern(bytes) : Verdict::Garbage;
               seven != Verdict::Garbage) {
        score.verdict = seven;
    } else {
        score.verdict = clean && evidence.errorsKnown ? Verdict::CleanBinary : Verdict::Garbage;
    }
    return score;
}

std::wstring DescribeVerdict(const TryScore& score) {
    switch (score.verdict) {
        case Verdict::Silent: return L"silent";
        case Verdict::TooLittle: return L"too few bytes to judge";
        case Verdict::Convincing:
            return score.sentencesRight > 0
                       ? L"convincing: " + std::to_wstring(score.sentencesRight) + L" NMEA sentences" +
                             (score.sentencesWrong == 0 ? L", every checksum right"
                                                        : L", " + std::to_wstring(score.sentencesWrong) + L" wrong")
                       : L"convincing: " + std::to_wstring(score.lines) + L" lines of text";
        case Verdict::TextWithErrors: return L"text, but characters did not fit: the speed, another framing";
        case Verdict::SevenBitsEven: return L"the 8th bit is even parity: 7 data bits, even parity";
        case Verdict::SevenBitsOdd: return L"the 8th bit is odd parity: 7 data bits, odd parity";
        case Verdict::CleanBinary: return L"no line error, but nothing devhost can read";
        case Verdict::Garbage: break;
    }
    return L"garbage: another speed";
}

}  // namespace DevHost
