// The exchange as the host drives it through the plug-in's table.
#include <gtest/gtest.h>
#include "AllocationCounter.h"
#include "RecordingPropertyListView.h"
#include "RecordingSettings.h"
#include "ScriptedPortSystem.h"
#include "FakeRequest.h"
#include "RecordingSink.h"
#include "ModelDriver.h"
#include "TraceLines.h"
#include "plugin/CreatePlugin.h"
#include "plugin/DeviceCommonPlugin.h"

namespace {

TEST(PluginExchange, RefusesToStartWithoutASink) {
    Plugin::IDevImportPlugin* plugin = CreatePlugin();
    EXPECT_FALSE(plugin->StartExchange());
    EXPECT_TRUE(plugin->StopExchange());
    EXPECT_TRUE(plugin->Release());
}

// Hosts commonly drop their last reference when the exchange reports its end.
TEST(PluginExchange, LastReleaseFromTheEndOfAFailedExchangeDestroysThePlugin) {
    Plugin::IDevImportPlugin* plugin = CreatePlugin();
    CRecordingSink sink;
    std::atomic<int> released{-1};
    sink.react = [&](const RecordedEvent&) { released = plugin->Release() ? 1 : 0; };
    plugin->SetEventSink(&sink);
    ASSERT_TRUE(plugin->StartExchange()) << "no port is configured: the open fails";
    ASSERT_TRUE(sink.WaitFor(EventLogText, 5000));
    for (int i = 0; i < 500 && released < 0; ++i) Sleep(10);
    EXPECT_EQ(released, 1);
    EXPECT_EQ(sink.Codes(), std::vector<int32_t>{EventLogText});
}

TEST(PluginExchange, ReleaseWhileTheExchangeStartsEndsItWithNoLaterEvent) {
    Plugin::IDevImportPlugin* plugin = CreatePlugin();
    CRecordingSink sink;
    plugin->SetEventSink(&sink);
    ASSERT_TRUE(plugin->StartExchange());
    EXPECT_TRUE(plugin->Release());
    const size_t events = sink.Events().size();
    EXPECT_LE(events, 1u) << "at most the port-opening text, made before the release";
    Sleep(200);
    EXPECT_EQ(sink.Events().size(), events);
}

// The settings dialog used while an exchange runs: the edits are the next
// exchange's, also when the final event starts it, on the worker.
TEST(PluginExchange, EditsMadeDuringAnExchangeTakeEffectAtTheNext) {
    CModelDriver api;
    Fakes::CScriptedPortSystem ports;
    ports.Present(3);
    ports.Present(4);
    Fakes::CRecordingSettingsReader stored;
    stored.strings[L"PORT"] = L"COM3";
    CRecordingSink sink;
    Plugin::CDeviceCommonPlugin* plugin = Plugin::CDeviceCommonPlugin::Create(ports, api.Table());
    plugin->LoadSettings(&stored);
    plugin->SetEventSink(&sink);
    ASSERT_TRUE(plugin->StartExchange());
    ASSERT_TRUE(sink.WaitFor(EventStarted, 5000));
    Fakes::CRecordingPropertyListView view;
    view.comboValues = {{1, 4}};
    plugin->GetPropertyListController()->FillView(&view);
    plugin->GetPropertyListController()->ApplyView();
    sink.react = [&](const RecordedEvent& event) {
        if (event.code == EventStopped) {
            EXPECT_TRUE(plugin->StartExchange());
        }
    };
    plugin->StopExchange();
    ASSERT_TRUE(sink.WaitFor(EventStarted, 5000, 2));
    EXPECT_EQ(api.OpenedPaths(), (std::vector<std::wstring>{L"\\\\.\\COM3", L"\\\\.\\COM4"}));
    plugin->Release();
}

// A port that is not there has the trace name the ports present, for a trace
// sent from the field; the host sees the opening error alone all the same,
// also when the listing finds no memory.
TEST(PluginExchange, APortNotThereHasTheTraceNameThePortsPresent) {
    class CListing final : public Fakes::CScriptedPortSystem {
    public:
        bool outOfMemory = false;
        void Read(Source source, INames& found) override {
            if (outOfMemory) AllocationCounter::FailAt(1);
            CScriptedPortSystem::Read(source, found);
        }
    };
    const struct {
        DWORD openError;
        std::vector<int> present;
        bool outOfMemory;
        const wchar_t* traced;
    } rows[] = {
        {ERROR_FILE_NOT_FOUND, {1, 5, 6}, false, L"\\\\.\\COM3 is not there; ports present now: COM1, COM5, COM6\n"},
        {433, {}, false, L"\\\\.\\COM3 is not there; ports present now: none\n"},
        {ERROR_PATH_NOT_FOUND, {1}, true, nullptr},
        {ERROR_SEM_TIMEOUT, {1}, false, nullptr},
    };
    for (const auto& row : rows) {
        DriverQuirks quirks;
        quirks.openError = row.openError;
        CModelDriver api(quirks);
        CListing ports;
        for (int number : row.present) ports.Present(number);
        ports.outOfMemory = row.outOfMemory;
        Fakes::CRecordingSettingsReader stored;
        stored.strings[L"PORT"] = L"COM3";
        CRecordingSink sink;
        CTraceLines trace;
        Plugin::CDeviceCommonPlugin* plugin = Plugin::CDeviceCommonPlugin::Create(ports, api.Table());
        plugin->LoadSettings(&stored);
        plugin->SetEventSink(&sink);
        ASSERT_TRUE(plugin->StartExchange());
        ASSERT_TRUE(sink.WaitFor(EventLogText, 5000));
        plugin->Release();
        EXPECT_EQ(sink.OpeningErrors(), 1u) << row.openError;
        EXPECT_EQ(sink.Codes(), std::vector<int32_t>{EventLogText});
        std::vector<std::wstring> expected;
        if (row.traced) expected.push_back(std::wstring(L"DeviceCommon: ") + row.traced);
        EXPECT_EQ(trace.With(L" is not there"), expected) << row.openError;
    }
}

// Only kind 4 is the host's data for the instrument.
TEST(PluginExchange, QueueTakesOnlyRequestsToSend) {
    Plugin::IDevImportPlugin* plugin = CreatePlugin();
    CFakeRequest other{RequestBytes(10), 3};
    CFakeRequest toSend{RequestBytes(10)};
    EXPECT_FALSE(plugin->QueueTransferRequest(nullptr));
    EXPECT_FALSE(plugin->QueueTransferRequest(&other));
    EXPECT_TRUE(plugin->QueueTransferRequest(&toSend));
    EXPECT_TRUE(plugin->QueueTransferRequest(&toSend));
    int callsWhenQueued = toSend.calls;
    EXPECT_TRUE(plugin->Release());
    EXPECT_EQ(toSend.calls, callsWhenQueued) << "destruction drops queued requests untouched";
}

}  // namespace
