#include <gtest/gtest.h>
#include "settings/SettingsTables.h"

namespace {

using Settings::OptionList;

TEST(SettingsTables, DescriptorsHoldNineEntriesKeyedByTheirOwnId) {
    Settings::DescriptorTable table;
    Settings::FillDescriptors(table);
    ASSERT_EQ(table.size(), 9u);
    int32_t expected = 0;
    for (const auto& [id, descriptor] : table) {
        EXPECT_EQ(id, expected++);
        EXPECT_EQ(descriptor.id, id);
    }
    EXPECT_EQ(table.at(Settings::WaitTime).key, L"WATETIME");
    EXPECT_EQ(table.at(Settings::WaitTime).caption, L"Время ожидания");
    EXPECT_EQ(table.at(Settings::AutoImportGroup).caption, L"Настройки автоимпорта");
    EXPECT_EQ(table.at(Settings::FlowControl).key, L"FLOWCONTROL");
}

TEST(SettingsTables, OptionListsInAscendingValueWithTheirCaptions) {
    OptionList baud, dataBits, parity, stopBits, flow;
    Settings::FillBaudRates(baud);
    Settings::FillDataBits(dataBits);
    Settings::FillParities(parity);
    Settings::FillStopBits(stopBits);
    Settings::FillFlowControls(flow);

    ASSERT_EQ(baud.size(), 15u);
    EXPECT_EQ(*baud.begin(), (OptionList::value_type{110, L"110"}));
    EXPECT_EQ(*baud.rbegin(), (OptionList::value_type{256000, L"256000"}));
    EXPECT_EQ(dataBits, (OptionList{{5, L"5"}, {6, L"6"}, {7, L"7"}, {8, L"8"}}));
    EXPECT_EQ(parity, (OptionList{{0, L"Нет"}, {1, L"Нечет"}, {2, L"Чет"}, {3, L"Маркер"}, {4, L"Пробел"}}));
    // Stop-bit values are the platform's codes: 1 is one and a half.
    EXPECT_EQ(stopBits, (OptionList{{0, L"1"}, {1, L"1.5"}, {2, L"2"}}));
    EXPECT_EQ(flow, (OptionList{{0, L"Нет"}, {1, L"Аппаратное"}, {2, L"xon/xoff"}}));
}

TEST(SettingsTables, APortNumberAlreadyListedKeepsItsFirstCaption) {
    OptionList ports;
    ports.emplace(3, L"COM3");
    ports.emplace(3, L"other");
    EXPECT_EQ(ports.at(3), L"COM3");
}

}  // namespace
