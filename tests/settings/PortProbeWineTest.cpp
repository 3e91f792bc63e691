// The real probe, with its device-namespace shortcut, against ports that
// wine_ports.sh declares to the test prefix's Wine: COM12 and COM255 lead to
// pseudo-terminals, COM200 is a stale link to nothing, COM256 lies beyond the
// probe. Other tests may map low-numbered ports of their own at the same
// time, so only COM10 and up are compared.
#include <gtest/gtest.h>
#include <windows.h>
#include "fakes/RecordingPropertyListView.h"
#include "fakes/RecordingSettings.h"
#include "plugin/CreatePlugin.h"
#include "plugin_api/IPropertyListViewController.h"
#include "settings/PortProbe.h"

namespace {

using Settings::OptionList;

// The probe without the namespace shortcut: every name is opened.
class OpenEveryName final : public Settings::PortSystem {
public:
    bool MayExist(const wchar_t*) override { return true; }
    OpenResult TryOpen(const wchar_t* devicePath) override { return Settings::Win32Ports().TryOpen(devicePath); }
};

OptionList FromTen(const OptionList& ports) { return OptionList(ports.lower_bound(10), ports.end()); }

TEST(WinePortProbe, ListsExactlyTheMappedPortsInNumericOrderFromCom12On) {
    OptionList ports;
    Settings::ProbePorts(Settings::Win32Ports(), L"", ports);
    EXPECT_EQ(FromTen(ports), (OptionList{{12, L"COM12"}, {255, L"COM255"}}));
}

TEST(WinePortProbe, TheNamespaceShortcutListsWhatOpeningEveryNameLists) {
    OptionList withShortcut, opened;
    OpenEveryName everyName;
    Settings::ProbePorts(Settings::Win32Ports(), L"", withShortcut);
    Settings::ProbePorts(everyName, L"", opened);
    EXPECT_EQ(FromTen(withShortcut), FromTen(opened));
}

TEST(WinePortProbe, ThePropertyListOffersAndStoresAPortAboveNine) {
    Plugin::IDevImportPlugin* plugin = CreatePlugin();
    Fakes::RecordingSettingsReader reader;
    reader.strings[L"PORT"] = L"COM255";
    plugin->LoadSettings(&reader);

    Fakes::RecordingPropertyListView view;
    Plugin::IPropertyListViewController* controller = plugin->GetPropertyListController();
    controller->FillView(&view);
    const Fakes::RecordedEntry* port = view.Find(1);
    ASSERT_NE(port, nullptr);
    EXPECT_EQ(port->selected, 255);

    view.comboValues[1] = 12;
    controller->ApplyView();
    Fakes::RecordingSettingsWriter writer;
    plugin->SaveSettings(&writer);
    EXPECT_EQ(writer.calls[1], L"WriteString PORT COM12");
    plugin->Release();
}

}  // namespace
