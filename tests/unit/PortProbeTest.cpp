#include <gtest/gtest.h>
#include <string>
#include "fakes/ScriptedPortSystem.h"
#include "settings/PortProbe.h"

namespace {

using Fakes::ScriptedPortSystem;
using Settings::OptionList;

class PortProbe : public ::testing::Test {
protected:
    OptionList Probe(const wchar_t* configured = L"COM1") {
        OptionList ports{{999, L"stale"}};
        Settings::ProbePorts(system, configured, ports);
        return ports;
    }

    ScriptedPortSystem system;
};

TEST_F(PortProbe, ListsPortsThatOpenInNumericOrderThroughTheDevicePath) {
    system.Present(12);
    system.Present(3);
    system.Present(255);
    EXPECT_EQ(Probe(), (OptionList{{3, L"COM3"}, {12, L"COM12"}, {255, L"COM255"}}));
    EXPECT_EQ(system.opened, (std::vector<std::wstring>{L"\\\\.\\COM3", L"\\\\.\\COM12", L"\\\\.\\COM255"}));
}

struct FailureCase {
    DWORD error;
    bool listed;
};

class PortProbeFailure : public PortProbe, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(PortProbeFailure, AFailedOpenListsAPresentPortOnly) {
    system.Failing(4, GetParam().error);
    EXPECT_EQ(Probe().count(4), GetParam().listed ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(Errors, PortProbeFailure,
                         ::testing::Values(FailureCase{ERROR_GEN_FAILURE, true},
                                           FailureCase{ERROR_SHARING_VIOLATION, true},
                                           FailureCase{ERROR_ACCESS_DENIED, false},
                                           FailureCase{ERROR_FILE_NOT_FOUND, false},
                                           FailureCase{ERROR_PATH_NOT_FOUND, false},
                                           FailureCase{ERROR_SEM_TIMEOUT, false}),
                         [](const auto& info) { return "Error" + std::to_string(info.param.error); });

TEST_F(PortProbe, AccessDeniedListsOnlyTheConfiguredPortByItsExactName) {
    system.Failing(5, ERROR_ACCESS_DENIED);
    system.Failing(6, ERROR_ACCESS_DENIED);
    EXPECT_EQ(Probe(L"COM5"), (OptionList{{5, L"COM5"}}));
    EXPECT_EQ(Probe(L"com5"), OptionList{});
}

TEST_F(PortProbe, NoPortGivesAnEmptyList) { EXPECT_EQ(Probe(), OptionList{}); }

// The namespace shortcut must not change the answer: probing with it and
// opening all 255 names give the same list, and only names the namespace
// holds are opened.
TEST_F(PortProbe, SkippingNamesOutsideTheNamespaceGivesTheFullProbesList) {
    system.Present(1);
    system.Failing(2, ERROR_ACCESS_DENIED);
    system.Failing(9, ERROR_SHARING_VIOLATION);
    system.Failing(10, ERROR_GEN_FAILURE);
    system.Failing(11, ERROR_FILE_NOT_FOUND);
    system.Present(200);
    const OptionList withShortcut = Probe(L"COM2");
    EXPECT_EQ(system.opened.size(), system.ports.size());

    system.withoutNamespaceShortcut = true;
    system.opened.clear();
    EXPECT_EQ(Probe(L"COM2"), withShortcut);
    EXPECT_EQ(system.opened.size(), 255u);
}

}  // namespace
