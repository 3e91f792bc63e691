#include <gtest/gtest.h>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string>
#include "RecordingSettings.h"
#include "settings/SettingsPersistence.h"

namespace {

using Fakes::CRecordingSettingsReader;
using Fakes::CRecordingSettingsWriter;

// The line record's flag word; the six flow-control fields sit in 0x333C.
DWORD FlagWord(const DCB& line) {
    DWORD flags;
    std::memcpy(&flags, reinterpret_cast<const char*>(&line) + offsetof(DCB, BaudRate) + sizeof(DWORD), sizeof flags);
    return flags;
}
constexpr DWORD kFlowMask = 0x333C;

class SettingsPersistence : public ::testing::Test {
protected:
    SettingsPersistence() { Settings::FillDescriptors(descriptors); }

    void Load() { Settings::LoadPortSettings(reader, descriptors, settings); }
    std::vector<std::wstring> Save() {
        CRecordingSettingsWriter writer;
        Settings::SavePortSettings(writer, descriptors, settings);
        return writer.calls;
    }

    Settings::DescriptorTable descriptors;
    Settings::PortSettings settings;
    CRecordingSettingsReader reader;
};

TEST_F(SettingsPersistence, DefaultsLoadInOrderAndSaveBackInOrder) {
    Load();
    EXPECT_EQ(reader.calls, (std::vector<std::wstring>{
                                L"ReadInt WATETIME 10", L"ReadString PORT COM1", L"ReadInt BAUDRATE 9600",
                                L"ReadInt PARITY 0", L"ReadInt BYTESIZE 8", L"ReadInt STOPBITS 0",
                                L"ReadInt FLOWCONTROL 0"}));
    EXPECT_EQ(Save(), (std::vector<std::wstring>{
                          L"WriteInt WATETIME 10", L"WriteString PORT COM1", L"WriteInt BAUDRATE 9600",
                          L"WriteInt PARITY 0", L"WriteInt BYTESIZE 8", L"WriteInt STOPBITS 0",
                          L"WriteInt FLOWCONTROL 0"}));
    EXPECT_EQ(FlagWord(settings.line) & kFlowMask, 0u) << "no handshake, DTR and RTS held off";
}

TEST_F(SettingsPersistence, StoredValuesLoadAsTheyComeAndByteFieldsKeepTheLowByte) {
    reader.ints = {{L"WATETIME", -1}, {L"BAUDRATE", 12345}, {L"PARITY", 260},
                   {L"BYTESIZE", 7},  {L"STOPBITS", 2},     {L"FLOWCONTROL", 3}};
    reader.strings = {{L"PORT", L"COM12"}};
    Load();
    EXPECT_EQ(Save(), (std::vector<std::wstring>{
                          L"WriteInt WATETIME -1", L"WriteString PORT COM12", L"WriteInt BAUDRATE 12345",
                          L"WriteInt PARITY 4", L"WriteInt BYTESIZE 7", L"WriteInt STOPBITS 2",
                          L"WriteInt FLOWCONTROL 3"}));
}

TEST_F(SettingsPersistence, EmptyOrNullPortLoadsAsEmptyNotAsTheDefault) {
    for (auto stored : {std::optional<std::wstring>(L""), std::optional<std::wstring>()}) {
        settings.portName = L"COM7";
        reader.strings[L"PORT"] = stored;
        Load();
        EXPECT_EQ(settings.portName, L"") << (stored ? "empty" : "null");
    }
}

struct FlowCase {
    int32_t mode;
    DWORD flowBits;  // within kFlowMask
};

class SettingsPersistenceFlow : public SettingsPersistence, public ::testing::WithParamInterface<FlowCase> {};

// Hardware sets CTS/DSR pacing and DTR/RTS handshake (bits 2, 3, 5, 13);
// XON/XOFF sets bits 8 and 9; every other mode clears the mask. The flag
// word of a mode-1 load goes in first, so stale bits would show.
TEST_P(SettingsPersistenceFlow, FlowControlFlagsFollowTheModeFromAFreshLine) {
    reader.ints[L"FLOWCONTROL"] = 1;
    Load();
    reader.ints[L"FLOWCONTROL"] = GetParam().mode;
    Load();
    EXPECT_EQ(FlagWord(settings.line) & kFlowMask, GetParam().flowBits);
    EXPECT_EQ(settings.flowControl, GetParam().mode);
}

INSTANTIATE_TEST_SUITE_P(Modes, SettingsPersistenceFlow,
                         ::testing::Values(FlowCase{0, 0}, FlowCase{1, 0x202C}, FlowCase{2, 0x0300}, FlowCase{3, 0},
                                           FlowCase{-1, 0}),
                         [](const auto& info) {
                             return "Mode" + std::string(info.param.mode < 0 ? "Minus" : "") +
                                    std::to_string(std::abs(info.param.mode));
                         });

TEST_F(SettingsPersistence, FlagsOutsideTheFlowMaskComeFromTheDefaultLine) {
    reader.ints[L"FLOWCONTROL"] = 0;
    Load();
    const DWORD noFlow = FlagWord(settings.line);
    reader.ints[L"FLOWCONTROL"] = 1;
    Load();
    EXPECT_EQ(FlagWord(settings.line) & ~kFlowMask, noFlow & ~kFlowMask);
}

}  // namespace
