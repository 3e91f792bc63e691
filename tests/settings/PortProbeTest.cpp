#include <gtest/gtest.h>
#include <string>
#include "ScriptedPortSystem.h"
#include "settings/PortProbe.h"

namespace {

using Fakes::CScriptedPortSystem;
using Settings::OptionList;
using Source = Settings::IPortSystem::Source;

class PortProbe : public ::testing::Test {
protected:
    OptionList List() {
        OptionList ports{{999, L"stale"}};
        Settings::ListPorts(system, ports);
        return ports;
    }

    CScriptedPortSystem system;
};

TEST_F(PortProbe, NoSourceAnsweringGivesAnEmptyList) { EXPECT_EQ(List(), OptionList{}); }

TEST_F(PortProbe, SourcesAreMergedInNumericOrderEachPortOnce) {
    system.names[Source::DeviceMap] = {L"COM10", L"COM3", L"COM9"};
    system.names[Source::DeviceNamespace] = {L"C:", L"COM3", L"COM2", L"NUL", L"COM9"};
    system.names[Source::PortsClass] = {L"com3", L"LPT1", L"COM12"};
    system.names[Source::ModemClass] = {L"COM10"};
    EXPECT_EQ(List(), (OptionList{{2, L"COM2"}, {3, L"COM3"}, {9, L"COM9"}, {10, L"COM10"}, {12, L"COM12"}}));
}

// The others failing, each source alone still lists what it names.
TEST_F(PortProbe, EachSourceAloneListsItsPorts) {
    for (Source source : {Source::DeviceMap, Source::DeviceNamespace, Source::PortsClass, Source::ModemClass}) {
        system.names = {{source, {L"COM7", L"COM200"}}};
        EXPECT_EQ(List(), (OptionList{{7, L"COM7"}, {200, L"COM200"}})) << "source " << static_cast<int>(source);
    }
}

struct NameCase {
    const wchar_t* given;
    int listedAs;  // 0: not listed
};

void PrintTo(const NameCase& name, std::ostream* out) { *out << ::testing::PrintToString(name.given); }

class PortProbeName : public PortProbe, public ::testing::WithParamInterface<NameCase> {};

// Device names are case-insensitive, so any spelling of COM<n> is the port
// CSerialPort opens as \\.\COM<n>, and is shown in capitals.
TEST_P(PortProbeName, IsListedOnlyAsAPortFromCom1ToCom255) {
    system.names[Source::DeviceNamespace] = {GetParam().given};
    const int number = GetParam().listedAs;
    OptionList expected;
    if (number != 0) expected.emplace(number, (L"COM" + std::to_wstring(number)).c_str());
    EXPECT_EQ(List(), expected) << GetParam().given;
}

INSTANTIATE_TEST_SUITE_P(
    Names, PortProbeName,
    ::testing::Values(NameCase{L"COM1", 1}, NameCase{L"COM255", 255}, NameCase{L"com4", 4}, NameCase{L"cOm99", 99},
                      NameCase{L"COM0", 0}, NameCase{L"COM256", 0}, NameCase{L"COM1000", 0}, NameCase{L"COM03", 0},
                      NameCase{L"COM3x", 0}, NameCase{L"COM 3", 0}, NameCase{L" COM3", 0}, NameCase{L"COM", 0},
                      NameCase{L"", 0}, NameCase{L"COM-1", 0}, NameCase{L"LPT1", 0}, NameCase{L"\\\\.\\COM3", 0},
                      NameCase{L"\\Device\\Serial0", 0}),
    [](const auto& info) { return "Case" + std::to_string(info.index); });

}  // namespace
