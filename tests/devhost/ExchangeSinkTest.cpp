#include <gtest/gtest.h>
#include <windows.h>
#include <string>
#include <vector>
#include "ExchangeSink.h"
#include "TransferRequest.h"

namespace {

using namespace DevHost;

// The plug-in's message as it sends it: UTF-8, the count without a terminator.
const char kOpenError[] = u8"Ошибка открытия порта.\n";

struct RecordingView : CExchangeView {
    void Received(const uint8_t* data, size_t count) override {
        shown.append(reinterpret_cast<const char*>(data), count);
    }
    void Notice(const std::wstring& text) override { notices.push_back(text); }
    TracedEnding TracedEnd() override { return traced; }

    std::string shown;
    std::vector<std::wstring> notices;
    TracedEnding traced;
};

class ExchangeSink : public ::testing::Test {
protected:
    RecordingView view;
    CExchangeSink sink{view};
};

TEST_F(ExchangeSink, ShowsEachBlockOnceThoughItComesAgainAsLogText) {
    char buffer[8] = "$GPGGA";
    sink.OnEvent(EventStarted, nullptr, 0);
    sink.OnEvent(EventDataReceived, buffer, 3);
    sink.OnEvent(EventLogText, buffer, 3);
    sink.OnEvent(EventDataReceived, buffer + 3, 3);
    sink.OnEvent(EventLogText, buffer + 3, 3);
    EXPECT_FALSE(sink.WaitForEnd(0));
    sink.OnEvent(EventStopped, nullptr, 0);

    EXPECT_EQ(view.shown, "$GPGGA");
    ExchangeReport report = sink.Report();
    EXPECT_TRUE(sink.WaitForEnd(0));
    EXPECT_EQ(report.end, ExchangeEnd::Stopped);
    EXPECT_EQ(report.bytesIn, 6u);
    EXPECT_EQ(report.blocksIn, 2u);
    EXPECT_TRUE(report.pluginMessage.empty());
}

// The plug-in sends its message and no EventStopped: without recognising
// that end, devhost would wait for ever.
TEST_F(ExchangeSink, TheMessageBeforeStartIsThePortOpeningFailureAndTheEnd) {
    ASSERT_EQ(sizeof kOpenError - 1, 42u);
    sink.OnEvent(EventLogText, kOpenError, 42);
    EXPECT_TRUE(sink.WaitForEnd(0));
    ExchangeReport report = sink.Report();
    EXPECT_EQ(report.end, ExchangeEnd::PortNotOpened);
    EXPECT_EQ(report.pluginMessage, L"Ошибка открытия порта.");
    EXPECT_TRUE(view.shown.empty());
}

// Only the plug-in's trace tells a pulled cable from the end of the wait time.
TEST_F(ExchangeSink, TheTraceTellsTheDeviceGoneFromANormalEnd) {
    for (const wchar_t* traced : {L"no data for more than 2 s", L"the device is gone (error 21 from the status)"}) {
        RecordingView ending;
        ending.traced = {traced, {}, {}};
        CExchangeSink sink(ending);
        sink.OnEvent(EventStarted, nullptr, 0);
        sink.OnEvent(EventStopped, nullptr, 0);
        const bool gone = traced[0] == L't';
        EXPECT_EQ(sink.Report().end, gone ? ExchangeEnd::DeviceGone : ExchangeEnd::Stopped) << traced;
        EXPECT_EQ(ending.notices.back().rfind(L"exchange ended: " + std::wstring(traced), 0), 0u) << traced;
    }
}

// The totals as the plug-in traces them, every count given.
TEST(ExchangeSinkEnd, LineErrorsAreSaidInPlainWordsAfterTheEnd) {
    const wchar_t* const cases[][2] = {
        {L"overrun 1, input overflow 0, framing 3, parity 0, break 0",
         L"Bytes were lost or garbled on the line: 1 overrun — the port could not keep up, bytes were lost; 3 framing "
         L"errors — the instrument probably sends at another speed or framing than the settings (38400 baud 8N1)"},
        {L"overrun 0, input overflow 2, framing 0, parity 1, break 1",
         L"Bytes were lost or garbled on the line: 2 input overflows — the driver's input queue was full, bytes were "
         L"lost; 1 parity error — the instrument probably sends at another speed or framing than the settings (38400 "
         L"baud 8N1); 1 break — the line was held at space"},
        {L"overrun 0, input overflow 0, framing 2, parity 5, break 0",
         L"Bytes were lost or garbled on the line: 2 framing errors and 5 parity errors — the instrument"},
        {L"framing 3", L"The plug-in's trace says of line errors: framing 3"},
    };
    for (const auto& test : cases) {
        const std::wstring explained = ExplainLineErrors(test[0], L"38400 baud 8N1");
        EXPECT_EQ(explained.rfind(test[1], 0), 0u) << explained;
        RecordingView view;
        view.traced = {L"no data for more than 2 s", explained, {}};
        CExchangeSink sink(view);
        sink.OnEvent(EventStopped, nullptr, 0);
        EXPECT_EQ(view.notices, (std::vector<std::wstring>{L"exchange ended: no data for more than 2 s", explained}));
    }
}

TEST_F(ExchangeSink, LogTextThatIsNoCopyDuringTheExchangeIsAMessageNotAnEnd) {
    char buffer[4] = "abc";
    sink.OnEvent(EventStarted, nullptr, 0);
    sink.OnEvent(EventDataReceived, buffer, 3);
    sink.OnEvent(EventLogText, buffer, 2);  // another count: not the copy
    sink.OnEvent(EventLogText, buffer, 3);  // the copy is expected only right after the block
    EXPECT_FALSE(sink.WaitForEnd(0));
    EXPECT_EQ(view.shown, "abc");
    EXPECT_EQ(sink.Report().pluginMessage, L"abc");
}

// The plug-in reports each chunk sent by a pointer into its request.
TEST(TransferRequest, SentChunksCountForTheRequestTheyCameFrom) {
    CTransferRequest first(L"first", std::vector<uint8_t>(100, 'a'));
    CTransferRequest second(L"second", std::vector<uint8_t>(10, 'b'));
    for (const auto& [chunk, count] :
         {std::pair{first.GetData(), 60}, {first.GetData() + 60, 40}, {second.GetData(), 4}}) {
        first.CountIfHolds(chunk, count);
        second.CountIfHolds(chunk, count);
    }
    EXPECT_EQ(first.BytesSent(), 100u);
    EXPECT_EQ(second.BytesSent(), 4u) << "a short request must show as short";
}

}  // namespace
