// The host's calls with each of their allocations failing in turn. No
// exception leaves (the host's compiler could not catch one), the call
// answers its failure, nothing leaks, and the object is as it was and still
// works. Construction and FillView are proved beside their own tests.
#include <gtest/gtest.h>
#include <cwchar>
#include <functional>
#include "AllocationCounter.h"
#include "RecordingPropertyListView.h"
#include "RecordingSettings.h"
#include "ScriptedPortSystem.h"
#include "plugin/DeviceCommonPlugin.h"

namespace {

class CEmptySendRequest : public ITransferRequest {
public:
    void HostSlot1() override {}
    void HostSlot2() override {}
    int32_t GetKind() override { return 4; }
    const uint8_t* GetData() override { return nullptr; }
    int32_t GetSize() override { return 0; }
};

// Answers without allocating, so that only the plug-in's blocks are counted.
class CFixedReader : public ISettingsReader {
public:
    explicit CFixedReader(const wchar_t* port) : m_port(port) {}
    BSTR ReadString(const wchar_t*, const wchar_t*) override { return SysAllocString(m_port); }
    int32_t ReadInt(const wchar_t* key, int32_t defaultValue) override {
        return std::wcscmp(key, L"BAUDRATE") == 0 ? 57600 : defaultValue;
    }

private:
    const wchar_t* m_port;
};

class CEndSink : public IDeviceEventSink {
public:
    void OnEvent(int32_t, const void*, uint32_t) override { ++ends; }
    void OnRequestDone(ITransferRequest*) override {}
    std::atomic<int> ends{0};
};

class OutOfMemory : public ::testing::Test {
protected:
    ~OutOfMemory() override { plugin->Release(); }

    // Runs the call with its n-th allocation failing, n = 1, 2, ... until a
    // run has no allocation left to fail; returns how many runs failed.
    // Succeeded tells, once the failure is disarmed, whether the call took
    // effect: true only for the run that could allocate everything.
    long FailEachAllocationOf(const std::function<void()>& call, const std::function<bool()>& succeeded) {
        long failures = 0;
        for (long n = 1;; ++n) {
            const long before = AllocationCounter::Outstanding();
            AllocationCounter::FailAt(n);
            EXPECT_NO_THROW(call()) << "allocation " << n;
            const bool fired = AllocationCounter::Fired();
            AllocationCounter::FailAt(0);
            if (!fired) {
                EXPECT_TRUE(succeeded());
                return failures;
            }
            ++failures;
            EXPECT_FALSE(succeeded()) << "allocation " << n << " failed unnoticed";
            EXPECT_EQ(AllocationCounter::Outstanding(), before) << "leak after failing allocation " << n;
        }
    }

    std::vector<std::wstring> Saved() {
        Fakes::CRecordingSettingsWriter writer;
        plugin->SaveSettings(&writer);
        return writer.calls;
    }

    Fakes::CScriptedPortSystem ports;
    Plugin::CDeviceCommonPlugin* plugin = Plugin::CDeviceCommonPlugin::Create(ports);
};

TEST_F(OutOfMemory, LoadSettingsKeepsTheEarlierSettingsWhole) {
    const std::wstring longName = L"COM" + std::wstring(300, L'7');
    CFixedReader reader(longName.c_str());
    CFixedReader defaults(L"COM1");
    plugin->LoadSettings(&reader);
    const auto loaded = Saved();
    plugin->LoadSettings(&defaults);
    const auto earlier = Saved();

    EXPECT_GE(FailEachAllocationOf([&] { plugin->LoadSettings(&reader); },
                                   [&] {
                                       const auto now = Saved();
                                       EXPECT_TRUE(now == loaded || now == earlier) << "a mixture of both";
                                       return now == loaded;
                                   }),
              1);
}

TEST_F(OutOfMemory, ApplyViewKeepsTheEarlierSettingsWhole) {
    const std::wstring longName = L"COM" + std::wstring(300, L'7');
    CFixedReader reader(longName.c_str());
    plugin->LoadSettings(&reader);
    Fakes::CRecordingPropertyListView view;
    view.comboValues = {{2, 38400}, {3, 2}};
    view.textValue = std::optional<std::wstring>(L"42");
    Plugin::IPropertyListViewController& controller = *plugin->GetPropertyListController();
    controller.FillView(&view);
    const auto earlier = Saved();
    ASSERT_TRUE(controller.ApplyView());
    const auto applied = Saved();
    plugin->LoadSettings(&reader);

    bool answered = false;
    EXPECT_GE(FailEachAllocationOf([&] { answered = controller.ApplyView(); },
                                   [&] {
                                       EXPECT_EQ(Saved(), answered ? applied : earlier);
                                       return answered;
                                   }),
              1);
}

TEST_F(OutOfMemory, QueueTransferRequestRefusesAndQueuesAfterwards) {
    CEmptySendRequest request;
    bool queued = false;
    EXPECT_GE(FailEachAllocationOf([&] { queued = plugin->QueueTransferRequest(&request); }, [&] { return queued; }),
              1);
}

// The path to open is made on the host's thread: a failure there must not
// leave the plug-in believing an exchange runs.
TEST_F(OutOfMemory, StartExchangeRefusesAndLeavesNoExchangeRunning) {
    CEndSink sink;
    CFixedReader reader(L"COM200");
    plugin->LoadSettings(&reader);
    plugin->SetEventSink(&sink);
    bool started = false;
    EXPECT_GE(FailEachAllocationOf([&] { started = plugin->StartExchange(); }, [&] { return started; }), 1);
    for (int i = 0; i < 500 && sink.ends == 0; ++i) Sleep(10);
    EXPECT_EQ(sink.ends, 1) << "one exchange ran: the one that could allocate";
    EXPECT_TRUE(plugin->StartExchange()) << "a failed start left something running";
    for (int i = 0; i < 500 && sink.ends < 2; ++i) Sleep(10);
}

}  // namespace
