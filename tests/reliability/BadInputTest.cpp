// Settings no host should store, handed over anyway: each exchange either
// runs with the line record the driver accepts, or reports that the port
// cannot be opened; none crashes or hangs.
#include <gtest/gtest.h>
#include <climits>
#include <atomic>
#include <functional>
#include <iterator>
#include "RecordingSink.h"
#include "RigPlugin.h"
#include "RigTest.h"
#include "win32/UniqueHandle.h"

namespace {

constexpr DWORD kPatience = 10000;

enum class Outcome {
    // EventStarted, then EventStopped once stopped: a refused line record is
    // not reported and does not end the exchange.
    Runs,
    // Ends by itself after the first block: a negative wait time is over at once.
    EndsAfterTheFirstBlock,
    // The port-opening text and nothing else.
    CannotOpen,
};

std::wstring TempFilePath() {
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    return std::wstring(folder) + L"devicecommon-not-a-port.bin";
}

const wchar_t kPipeName[] = L"\\\\.\\pipe\\devicecommon-not-a-port";

struct BadInput {
    const char* label;
    std::function<void(Fakes::CRecordingSettingsReader&)> store;
    Outcome outcome;
};

void PrintTo(const BadInput& input, std::ostream* out) { *out << input.label; }

std::function<void(Fakes::CRecordingSettingsReader&)> Int(const wchar_t* key, int32_t value) {
    return [=](Fakes::CRecordingSettingsReader& settings) { settings.ints[key] = value; };
}
std::function<void(Fakes::CRecordingSettingsReader&)> Port(std::function<std::wstring()> name) {
    return [=](Fakes::CRecordingSettingsReader& settings) { settings.strings[L"PORT"] = name(); };
}

const BadInput kBadInputs[] = {
    {"BaudZero", Int(L"BAUDRATE", 0), Outcome::Runs},
    {"BaudFourBillion", Int(L"BAUDRATE", static_cast<int32_t>(4000000000u)), Outcome::Runs},
    {"Parity260", Int(L"PARITY", 260), Outcome::Runs},
    {"DataBits200", Int(L"BYTESIZE", 200), Outcome::Runs},
    {"StopBits7", Int(L"STOPBITS", 7), Outcome::Runs},
    {"FlowControlMinusOne", Int(L"FLOWCONTROL", -1), Outcome::Runs},
    {"WaitTimeNegative", Int(L"WATETIME", -5), Outcome::EndsAfterTheFirstBlock},
    {"WaitTimeLowest", Int(L"WATETIME", INT_MIN), Outcome::EndsAfterTheFirstBlock},
    {"WaitTimeHighest", Int(L"WATETIME", INT_MAX), Outcome::Runs},
    {"PortNameEmpty", Port([] { return std::wstring(); }), Outcome::CannotOpen},
    {"PortName100000Characters", Port([] { return L"COM" + std::wstring(99997, L'7'); }), Outcome::CannotOpen},
    {"PortNameAFilePath", Port(TempFilePath), Outcome::CannotOpen},
    {"PortNameAFileInTheDeviceNamespace", Port([] { return L"\\\\?\\" + TempFilePath(); }), Outcome::CannotOpen},
    {"PortNameAPipe", Port([] { return std::wstring(kPipeName); }), Outcome::CannotOpen},
    {"PortNameNul", Port([] { return std::wstring(L"NUL"); }), Outcome::CannotOpen},
};

class OnTheRig : public RigTest {
protected:
    void TearDown() override {
        if (plugin) plugin->Release();
        instrument.Purge();
    }

    CRecordingSink sink{CRecordingSink::Keep::CountsOnly};
    Fakes::CRecordingSettingsReader settings = RigSettings();
    Plugin::IDevImportPlugin* plugin = nullptr;
};

class BadSettings : public OnTheRig, public ::testing::WithParamInterface<BadInput> {
protected:
    void SetUp() override {
        OnTheRig::SetUp();
        ASSERT_TRUE(Win32::CUniqueHandle(CreateFileW(TempFilePath().c_str(), GENERIC_WRITE, 0, nullptr,
                                                    CREATE_ALWAYS, 0, nullptr)).IsValid());
        pipe.Reset(CreateNamedPipeW(kPipeName, PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, PIPE_UNLIMITED_INSTANCES, 4096,
                                    4096, 0, nullptr));
        ASSERT_TRUE(pipe.IsValid());
    }
    void TearDown() override {
        OnTheRig::TearDown();
        pipe.Reset();
        DeleteFileW(TempFilePath().c_str());
    }

    Win32::CUniqueHandle pipe;
};

TEST_P(BadSettings, GiveADefinedResult) {
    GetParam().store(settings);
    plugin = CreateLoadedPlugin(settings, &sink);
    ASSERT_TRUE(plugin->StartExchange());

    switch (GetParam().outcome) {
    case Outcome::CannotOpen:
        ASSERT_TRUE(sink.WaitForEnds(1, kPatience));
        Sleep(200);
        EXPECT_EQ(sink.OpeningErrors(), 1u);
        EXPECT_EQ(sink.Count(EventStarted), 0u);
        EXPECT_EQ(sink.Count(EventStopped), 0u);
        EXPECT_EQ(sink.Count(EventLogText), 1u);
        break;
    case Outcome::EndsAfterTheFirstBlock:
        ASSERT_TRUE(sink.WaitFor(EventStarted, kPatience));
        ASSERT_TRUE(instrument.Send({1, 2, 3}));
        ASSERT_TRUE(sink.WaitForEnds(1, kPatience)) << "ends without a stop";
        EXPECT_EQ(sink.Count(EventStopped), 1u);
        EXPECT_EQ(sink.ReceivedBytes(), 3u);
        break;
    case Outcome::Runs:
        ASSERT_TRUE(sink.WaitFor(EventStarted, kPatience));
        ASSERT_TRUE(instrument.Send({1, 2, 3}));
        EXPECT_TRUE(sink.WaitForReceived(3, kPatience)) << "the bytes arrive";
        EXPECT_FALSE(sink.WaitForEnds(1, 300)) << "runs until stopped";
        EXPECT_FALSE(plugin->StopExchange());
        ASSERT_TRUE(sink.WaitForEnds(1, kPatience));
        EXPECT_EQ(sink.Count(EventStopped), 1u);
        EXPECT_EQ(sink.OpeningErrors(), 0u);
        break;
    }
}

// Requests that carry no bytes are handed back at once, and nothing is sent.
class CEmptyRequest : public ITransferRequest {
public:
    CEmptyRequest(const uint8_t* data, int32_t size) : m_data(data), m_size(size) {}
    void HostSlot1() override {}
    void HostSlot2() override {}
    int32_t GetKind() override { return 4; }
    const uint8_t* GetData() override { return m_data; }
    int32_t GetSize() override { return m_size; }

private:
    const uint8_t* m_data;
    int32_t m_size;
};

TEST_F(OnTheRig, RequestsWithoutBytesAreHandedBackUnsent) {
    static const uint8_t someBytes[4] = {1, 2, 3, 4};
    CEmptyRequest requests[] = {{nullptr, 0}, {nullptr, 100}, {someBytes, 0}, {someBytes, -5}, {nullptr, INT_MIN}};
    std::atomic<size_t> done{0};
    sink.react = [&](const RecordedEvent& event) {
        if (event.code == RequestDone) ++done;
    };
    instrument.StartReading();
    plugin = CreateLoadedPlugin(settings, &sink);
    for (CEmptyRequest& request : requests) ASSERT_TRUE(plugin->QueueTransferRequest(&request));
    ASSERT_TRUE(plugin->StartExchange());
    ASSERT_TRUE(sink.WaitFor(EventStarted, kPatience));
    for (int i = 0; i < 100 && done < std::size(requests); ++i) Sleep(20);
    EXPECT_EQ(done, std::size(requests));
    EXPECT_EQ(sink.Count(EventDataSent), 0u);
    plugin->StopExchange();
    ASSERT_TRUE(sink.WaitForEnds(1, kPatience));
    EXPECT_EQ(instrument.StopReading().size(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Stored, BadSettings, ::testing::ValuesIn(kBadInputs),
                         [](const ::testing::TestParamInfo<BadInput>& info) { return info.param.label; });

}  // namespace
