// The real probe against ports that wine_ports.sh maps into the test prefix:
// COM12 and COM255 lead to pseudo-terminals, COM200 to nothing, COM256 lies
// beyond the probe. Other tests may map low-numbered ports of their own at
// the same time, so only COM10 and up are compared.
#include <gtest/gtest.h>
#include <windows.h>
#include <winternl.h>
#include <cwchar>
#include <memory>
#include <string>
#include "fakes/RecordingPropertyListView.h"
#include "fakes/RecordingSettings.h"
#include "plugin/CreatePlugin.h"
#include "plugin_api/IPropertyListViewController.h"
#include "settings/PortProbe.h"
#include "win32/UniqueHandle.h"

namespace {

using Settings::OptionList;

// Names a port in the device namespace for as long as it lives. A port
// driver on Windows does this for every port; Wine does it only for the
// ports it finds at start-up, not for links added to dosdevices later.
class DeviceNamespaceEntry {
public:
    explicit DeviceNamespaceEntry(const std::wstring& portName) {
        using CreateLink = LONG(NTAPI*)(HANDLE*, ACCESS_MASK, OBJECT_ATTRIBUTES*, UNICODE_STRING*);
        auto create = reinterpret_cast<CreateLink>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtCreateSymbolicLinkObject")));
        std::wstring name = L"\\??\\" + portName;
        std::wstring target = L"\\Device\\ProbeTest" + portName;
        UNICODE_STRING linkName = Counted(name);
        UNICODE_STRING linkTarget = Counted(target);
        OBJECT_ATTRIBUTES attributes;
        InitializeObjectAttributes(&attributes, &linkName, OBJ_CASE_INSENSITIVE, nullptr, nullptr);
        HANDLE link = nullptr;
        EXPECT_EQ(create(&link, SYMBOLIC_LINK_ALL_ACCESS_VALUE, &attributes, &linkTarget), 0) << "naming " << portName.c_str();
        m_link.Reset(link);
    }

private:
    static constexpr ACCESS_MASK SYMBOLIC_LINK_ALL_ACCESS_VALUE = STANDARD_RIGHTS_REQUIRED | 0x1;
    static UNICODE_STRING Counted(std::wstring& text) {
        const USHORT bytes = static_cast<USHORT>(text.size() * sizeof(wchar_t));
        return UNICODE_STRING{bytes, bytes, text.data()};
    }

    Win32::UniqueHandle m_link;
};

// The probe without the namespace shortcut: every name is opened.
class OpenEveryName final : public Settings::PortSystem {
public:
    bool MayExist(const wchar_t*) override { return true; }
    OpenResult TryOpen(const wchar_t* devicePath) override { return Settings::Win32Ports().TryOpen(devicePath); }
};

OptionList FromTen(const OptionList& ports) { return OptionList(ports.lower_bound(10), ports.end()); }

class WinePortProbe : public ::testing::Test {
protected:
    DeviceNamespaceEntry com12{L"COM12"}, com200{L"COM200"}, com255{L"COM255"}, com256{L"COM256"};
};

TEST_F(WinePortProbe, ListsExactlyTheMappedPortsInNumericOrderFromCom12On) {
    OptionList ports;
    Settings::ProbePorts(Settings::Win32Ports(), L"", ports);
    EXPECT_EQ(FromTen(ports), (OptionList{{12, L"COM12"}, {255, L"COM255"}}));
}

TEST_F(WinePortProbe, TheNamespaceShortcutListsWhatOpeningEveryNameLists) {
    OptionList withShortcut, opened;
    OpenEveryName everyName;
    Settings::ProbePorts(Settings::Win32Ports(), L"", withShortcut);
    Settings::ProbePorts(everyName, L"", opened);
    EXPECT_EQ(FromTen(withShortcut), FromTen(opened));
}

TEST_F(WinePortProbe, ThePropertyListOffersAndStoresAPortAboveNine) {
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
