// The host's calls with each of their allocations failing in turn: the
// error leaves the call, nothing leaks, and the object still works.
// Construction and FillView are proved beside their own tests.
#include <gtest/gtest.h>
#include <cwchar>
#include <new>
#include "AllocationCounter.h"
#include "fakes/RecordingSettings.h"
#include "fakes/ScriptedPortSystem.h"
#include "plugin/DeviceCommonPlugin.h"
#include "plugin_api/HResultError.h"

namespace {

bool IsOutOfMemory(const std::exception& error) {
    if (dynamic_cast<const std::bad_alloc*>(&error)) return true;
    auto* hresult = dynamic_cast<const Plugin::HResultError*>(&error);
    return hresult && hresult->Code() == E_OUTOFMEMORY;
}

class Request : public ITransferRequest {
public:
    void HostSlot1() override {}
    void HostSlot2() override {}
    int32_t GetKind() override { return 4; }
    const uint8_t* GetData() override { return nullptr; }
    int32_t GetSize() override { return 0; }
};

// Answers without allocating, so that only the plug-in's blocks are counted.
class FixedReader : public ISettingsReader {
public:
    explicit FixedReader(const wchar_t* port) : m_port(port) {}
    BSTR ReadString(const wchar_t*, const wchar_t*) override { return SysAllocString(m_port); }
    int32_t ReadInt(const wchar_t* key, int32_t defaultValue) override {
        return std::wcscmp(key, L"BAUDRATE") == 0 ? 57600 : defaultValue;
    }

private:
    const wchar_t* m_port;
};

class Sink : public IDeviceEventSink {
public:
    void OnEvent(int32_t, const void*, uint32_t) override {}
    void OnRequestDone(ITransferRequest*) override {}
};

class OutOfMemory : public ::testing::Test {
protected:
    ~OutOfMemory() override { plugin->Release(); }

    // Runs the call with its n-th allocation failing, n = 1, 2, ... until a
    // run has no allocation left to fail; returns how many runs failed.
    // Reset puts back the state the call may have changed before it failed.
    template <typename Call, typename Reset>
    long FailEachAllocationOf(Call call, Reset reset) {
        long failures = 0;
        for (long n = 1;; ++n) {
            const long before = AllocationCounter::Outstanding();
            bool raised = false;
            AllocationCounter::FailAt(n);
            try {
                call();
            } catch (const std::exception& error) {
                raised = true;
                EXPECT_TRUE(IsOutOfMemory(error)) << "allocation " << n << ": " << error.what();
            }
            const bool fired = AllocationCounter::Fired();
            AllocationCounter::FailAt(0);
            if (!fired) return failures;
            reset();
            ++failures;
            EXPECT_TRUE(raised) << "allocation " << n << " failed unnoticed";
            EXPECT_EQ(AllocationCounter::Outstanding(), before) << "leak after failing allocation " << n;
        }
    }

    std::vector<std::wstring> Saved() {
        Fakes::RecordingSettingsWriter writer;
        plugin->SaveSettings(&writer);
        return writer.calls;
    }

    Fakes::ScriptedPortSystem ports;
    CDeviceCommonPlugin* plugin = new CDeviceCommonPlugin(ports);
};

TEST_F(OutOfMemory, LoadSettingsKeepsWorking) {
    const std::wstring longName = L"COM" + std::wstring(300, L'7');
    FixedReader reader(longName.c_str());
    FixedReader defaults(L"COM1");
    plugin->LoadSettings(&reader);
    const auto expected = Saved();
    plugin->LoadSettings(&defaults);

    EXPECT_GE(FailEachAllocationOf([&] { plugin->LoadSettings(&reader); }, [&] { plugin->LoadSettings(&defaults); }),
              1);
    plugin->LoadSettings(&reader);
    EXPECT_EQ(Saved(), expected);
}

TEST_F(OutOfMemory, QueueTransferRequestRefusesByTheErrorAndQueuesAfterwards) {
    Request request;
    EXPECT_GE(FailEachAllocationOf([&] { plugin->QueueTransferRequest(&request); }, [] {}), 1);
    EXPECT_TRUE(plugin->QueueTransferRequest(&request));
}

// The path to open is made on the host's thread: a failure there must not
// leave the plug-in believing an exchange runs.
TEST_F(OutOfMemory, StartExchangeLeavesNoExchangeRunning) {
    Sink sink;
    plugin->SetEventSink(&sink);
    FailEachAllocationOf([&] { plugin->StartExchange(); }, [] {});
    EXPECT_TRUE(plugin->StopExchange()) << "no port is held";
    Sleep(200);
    EXPECT_TRUE(plugin->StartExchange()) << "a worker from a failed start still counts as running";
}

}  // namespace
