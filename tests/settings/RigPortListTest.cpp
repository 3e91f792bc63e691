// The property list against the null-modem rig's COM5 and COM6 as Wine is
// told about them, the way a person running the demo finds them: the plug-in
// lists what Wine names in its device map and namespace, opening nothing,
// and a port Wine has not been told about would be missing from the list.
#include <gtest/gtest.h>
#include <algorithm>
#include <iterator>
#include "RecordingPropertyListView.h"
#include "RecordingSettings.h"
#include "plugin/CreatePlugin.h"
#include "plugin_api/IPropertyListViewController.h"

namespace {

using Fakes::Choices;

constexpr int32_t kPortProperty = 1;

class RigPortList : public ::testing::Test {
protected:
    ~RigPortList() override { plugin->Release(); }

    const Fakes::RecordedEntry* FilledPortEntry() {
        plugin->GetPropertyListController()->FillView(&view);
        return view.Find(kPortProperty);
    }

    Plugin::IDevImportPlugin* plugin = CreatePlugin();
    Fakes::CRecordingPropertyListView view;
};

TEST_F(RigPortList, OffersBothEndsOfTheCableOnceEachInNumericOrder) {
    const Fakes::RecordedEntry* port = FilledPortEntry();
    ASSERT_NE(port, nullptr);
    Choices rig;
    std::copy_if(port->choices.begin(), port->choices.end(), std::back_inserter(rig),
                 [](const auto& choice) { return choice.first == 5 || choice.first == 6; });
    EXPECT_EQ(rig, (Choices{{5, L"COM5"}, {6, L"COM6"}}));
}

TEST_F(RigPortList, SelectsTheConfiguredEnd) {
    Fakes::CRecordingSettingsReader reader;
    reader.strings[L"PORT"] = L"COM6";
    plugin->LoadSettings(&reader);
    const Fakes::RecordedEntry* port = FilledPortEntry();
    ASSERT_NE(port, nullptr);
    EXPECT_EQ(port->selected, 6);
}

}  // namespace
