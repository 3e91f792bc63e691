// The real port list against ports that wine_ports.sh declares to the test
// prefix's Wine: COM12 and COM255 lead to pseudo-terminals, COM200 is a
// stale link to nothing, COM256 lies beyond the list. Other tests may map
// low-numbered ports of their own at the same time, so only COM10 and up
// are compared.
//
// What Wine answers here: its mount manager writes each port it made into
// HARDWARE\DEVICEMAP\SERIALCOMM ("\Device\Serial11" = "COM12") and names it
// in the device namespace, where QueryDosDeviceW with no name lists it among
// some 30 names; bare dosdevices links (COM200, COM256) are in neither.
// SetupAPI knows no present device of the Ports or Modem class. Wine opens
// every port it named, even one whose Unix path is gone, so a port that
// fails to open cannot be shown here.
#include <gtest/gtest.h>
#include <windows.h>
#include <algorithm>
#include "RecordingPropertyListView.h"
#include "RecordingSettings.h"
#include "plugin/CreatePlugin.h"
#include "plugin_api/IPropertyListViewController.h"
#include "settings/PortProbe.h"
#include "win32/UniqueHandle.h"
#include "win32/UniqueRegKey.h"

namespace {

using Settings::OptionList;
using Source = Settings::IPortSystem::Source;

struct OneSource final : Settings::IPortSystem {
    explicit OneSource(Source source) : only(source) {}
    void Read(Source source, INames& names) override {
        if (source == only) Settings::Win32Ports().Read(source, names);
    }
    Source only;
};

OptionList FromTen(const OptionList& ports) { return OptionList(ports.lower_bound(10), ports.end()); }

TEST(WinePortProbe, ListsExactlyTheMappedPortsInNumericOrderFromCom12On) {
    OptionList ports;
    Settings::ListPorts(Settings::Win32Ports(), ports);
    EXPECT_EQ(FromTen(ports), (OptionList{{12, L"COM12"}, {255, L"COM255"}}));
}

// A registry string need not end in a null; one of an odd length shows
// whether it is read to the length the registry gave.
TEST(WinePortProbe, EachSourceAloneNamesWhatWineMade) {
    Win32::CUniqueRegKey map;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_SET_VALUE, map.Receive()),
              ERROR_SUCCESS);
    RegSetValueExW(map.Get(), L"\\Device\\NoNull", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"COM77X"), 11);
    const OptionList mapped{{12, L"COM12"}, {255, L"COM255"}};
    OptionList inTheMap = mapped;
    inTheMap.emplace(77, L"COM77");
    const std::pair<Source, OptionList> answers[] = {{Source::DeviceMap, inTheMap},
                                                     {Source::DeviceNamespace, mapped},
                                                     {Source::PortsClass, {}},
                                                     {Source::ModemClass, {}}};
    for (const auto& [source, fromTen] : answers) {
        OneSource only(source);
        OptionList ports;
        Settings::ListPorts(only, ports);
        EXPECT_EQ(FromTen(ports), fromTen) << "source " << static_cast<int>(source);
    }
    RegDeleteValueW(map.Get(), L"\\Device\\NoNull");
}

TEST(WinePortProbe, ThePropertyListOffersAndStoresAPortAboveNine) {
    Plugin::IDevImportPlugin* plugin = CreatePlugin();
    Fakes::CRecordingSettingsReader reader;
    reader.strings[L"PORT"] = L"COM255";
    plugin->LoadSettings(&reader);

    Fakes::CRecordingPropertyListView view;
    Plugin::IPropertyListViewController* controller = plugin->GetPropertyListController();
    // COM8 leads to a pipe of one instance: an open of it would take that.
    const wchar_t* const pipeName = L"\\Device\\NamedPipe\\fill-view-opens";
    const wchar_t* const pipePath = L"\\\\.\\pipe\\fill-view-opens";
    const Win32::CUniqueHandle pipe(CreateNamedPipeW(pipePath, PIPE_ACCESS_DUPLEX, 0, 1, 0, 0, 0, nullptr));
    ASSERT_TRUE(DefineDosDeviceW(DDD_RAW_TARGET_PATH, L"COM8", pipeName));
    controller->FillView(&view);
    DefineDosDeviceW(DDD_RAW_TARGET_PATH | DDD_REMOVE_DEFINITION | DDD_EXACT_MATCH_ON_REMOVE, L"COM8", pipeName);
    const Fakes::RecordedEntry* port = view.Find(1);
    ASSERT_NE(port, nullptr);
    EXPECT_EQ(port->selected, 255);
    EXPECT_EQ(std::count(port->choices.begin(), port->choices.end(), std::make_pair(8, std::wstring(L"COM8"))), 1);
    const Win32::CUniqueHandle untaken(CreateFileW(pipePath, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_TRUE(untaken.IsValid()) << "FillView opened COM8";

    view.comboValues[1] = 12;
    controller->ApplyView();
    Fakes::CRecordingSettingsWriter writer;
    plugin->SaveSettings(&writer);
    EXPECT_EQ(writer.calls[1], L"WriteString PORT COM12");
    plugin->Release();
}

}  // namespace
