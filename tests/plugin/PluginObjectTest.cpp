#include <gtest/gtest.h>
#include <new>
#include "AllocationCounter.h"
#include "RecordingSettings.h"
#include "plugin/CreatePlugin.h"
#include "win32/UniqueHandle.h"
#include "plugin_api/IPropertyListViewController.h"

namespace {

// Releases the host's reference when the test ends.
struct PluginHandle {
    Plugin::IDevImportPlugin* plugin = CreatePlugin();
    ~PluginHandle() {
        if (plugin) plugin->Release();
    }
};

TEST(PluginObject, ReleaseReportsDestruction) {
    Plugin::IDevImportPlugin* plugin = CreatePlugin();
    plugin->AddRef();
    EXPECT_FALSE(plugin->Release());
    EXPECT_TRUE(plugin->Release());
}

TEST(PluginObject, ReferencesFromManyThreadsBalance) {
    PluginHandle handle;
    auto* plugin = handle.plugin;
    auto work = [](void* arg) -> DWORD {
        auto* p = static_cast<Plugin::IDevImportPlugin*>(arg);
        for (int i = 0; i < 100000; ++i) {
            p->AddRef();
            p->Release();
        }
        return 0;
    };
    Win32::CUniqueHandle threads[4];
    HANDLE running[4];
    for (int i = 0; i < 4; ++i) {
        threads[i].Reset(CreateThread(nullptr, 0, work, plugin, 0, nullptr));
        running[i] = threads[i].Get();
    }
    WaitForMultipleObjects(4, running, TRUE, INFINITE);

    plugin->AddRef();
    EXPECT_FALSE(plugin->Release()) << "the count must be back at one";
}

TEST(PluginObject, EveryCallMakesAnObjectOfItsOwn) {
    PluginHandle first;
    PluginHandle second;
    EXPECT_NE(first.plugin, second.plugin);
    Fakes::CRecordingSettingsWriter before;
    second.plugin->SaveSettings(&before);
    Fakes::CRecordingSettingsReader stored;
    stored.ints[L"BAUDRATE"] = 57600;
    first.plugin->LoadSettings(&stored);
    Fakes::CRecordingSettingsWriter after;
    second.plugin->SaveSettings(&after);
    EXPECT_EQ(after.calls, before.calls);
}

TEST(PluginObject, IdentifierAndName) {
    PluginHandle handle;
    GUID id = Plugin::PluginIdOf(*handle.plugin);
    const GUID expected = {0x3CBDB207, 0xD35C, 0x4661, {0x8C, 0x05, 0x38, 0x70, 0x97, 0xEB, 0x68, 0x6A}};
    EXPECT_TRUE(IsEqualGUID(id, expected));

    BSTR name = handle.plugin->GetName();
    EXPECT_STREQ(name, L"Другой");
    SysFreeString(name);
}

TEST(PluginObject, ControllerIsAPartOfTheObjectOfItsOwn) {
    PluginHandle handle;
    auto* controller = handle.plugin->GetPropertyListController();
    EXPECT_NE(static_cast<void*>(controller), static_cast<void*>(handle.plugin));
    EXPECT_EQ(controller, handle.plugin->GetPropertyListController());
    EXPECT_TRUE(controller->FirstQuery());
    EXPECT_TRUE(controller->SecondQuery());
}

// Every allocation of construction fails in turn: the host gets no object
// and no exception (its compiler could not catch one), and nothing built so
// far leaks.
TEST(PluginObject, ConstructionFailingAtEveryAllocationAnswersNullAndLeaksNothing) {
    const long before = AllocationCounter::Outstanding();
    long failures = 0;
    for (long n = 1;; ++n) {
        AllocationCounter::FailAt(n);
        Plugin::IDevImportPlugin* plugin = CreatePlugin();
        const bool fired = AllocationCounter::Fired();
        AllocationCounter::FailAt(0);
        if (!fired) {
            ASSERT_NE(plugin, nullptr);
            EXPECT_TRUE(plugin->Release());
            break;
        }
        EXPECT_EQ(plugin, nullptr) << "allocation " << n;
        EXPECT_EQ(AllocationCounter::Outstanding(), before) << "leak after failing allocation " << n;
        ++failures;
    }
    EXPECT_GT(failures, 30) << "construction builds tables of strings";
    EXPECT_EQ(AllocationCounter::Outstanding(), before);
}

}  // namespace
