#include <gtest/gtest.h>
#include "AllocationCounter.h"
#include "RecordingPropertyListView.h"
#include "RecordingSettings.h"
#include "ScriptedPortSystem.h"
#include "plugin/DeviceCommonPlugin.h"

namespace {

using Fakes::Choices;
using Fakes::RecordedEntry;
using Fakes::CRecordingPropertyListView;
using Fakes::CRecordingSettingsReader;
using Fakes::CRecordingSettingsWriter;
using Saved = std::vector<std::wstring>;

class PropertyListController : public ::testing::Test {
protected:
    PropertyListController() { plugin->LoadSettings(&reader); }
    ~PropertyListController() override { plugin->Release(); }

    void Reload() { plugin->LoadSettings(&reader); }
    Saved SavedSettings() {
        CRecordingSettingsWriter writer;
        plugin->SaveSettings(&writer);
        return writer.calls;
    }
    std::wstring SavedPort() { return SavedSettings()[1]; }

    Fakes::CScriptedPortSystem ports;
    CRecordingSettingsReader reader;
    Plugin::CDeviceCommonPlugin* plugin = Plugin::CDeviceCommonPlugin::Create(ports);
    Plugin::IPropertyListViewController& controller = *plugin->GetPropertyListController();
    CRecordingPropertyListView view;
};

TEST_F(PropertyListController, FillViewBuildsTwoGroupsAndSevenPropertiesShowingTheSettings) {
    ports.Present(12);
    ports.Present(3);
    reader.ints = {{L"BAUDRATE", 12345}, {L"PARITY", 2}, {L"STOPBITS", 1}, {L"FLOWCONTROL", 1}};
    Reload();
    controller.FillView(&view);

    const auto& e = view.entries;
    ASSERT_EQ(e.size(), 9u);
    std::vector<RecordedEntry::Kind> kinds;
    std::vector<int32_t> ids;
    for (const RecordedEntry& entry : e) {
        kinds.push_back(entry.kind);
        if (entry.kind != RecordedEntry::Group) {
            ids.push_back(entry.id);
            EXPECT_TRUE(entry.flag);
        }
    }
    using K = RecordedEntry;
    EXPECT_EQ(kinds, (std::vector<RecordedEntry::Kind>{K::Group, K::Text, K::Group, K::Combo, K::Combo, K::Combo,
                                                       K::Combo, K::Combo, K::Combo}));
    EXPECT_EQ(ids, (std::vector<int32_t>{8, 1, 2, 3, 4, 5, 6}));

    EXPECT_EQ(e[0].caption, L"Настройки автоимпорта");
    EXPECT_EQ(e[1].caption, L"Время ожидания");
    EXPECT_EQ(e[1].text, L"10");
    EXPECT_EQ(e[2].caption, L"Настройки порта");

    EXPECT_EQ(e[3].caption, L"Порт");
    EXPECT_EQ(e[3].choices, (Choices{{3, L"COM3"}, {12, L"COM12"}}));
    EXPECT_EQ(e[3].selected, 3) << "COM1 is absent: the lowest port is offered";

    EXPECT_EQ(e[4].caption, L"Скорость");
    ASSERT_EQ(e[4].choices.size(), 15u);
    EXPECT_EQ(e[4].choices.front(), (std::pair<int32_t, std::wstring>{110, L"110"}));
    EXPECT_EQ(e[4].choices.back(), (std::pair<int32_t, std::wstring>{256000, L"256000"}));
    EXPECT_EQ(e[4].selected, 12345) << "shown as stored though not in the list";

    EXPECT_EQ(e[5].caption, L"Четность");
    EXPECT_EQ(e[5].choices, (Choices{{0, L"Нет"}, {1, L"Нечет"}, {2, L"Чет"}, {3, L"Маркер"}, {4, L"Пробел"}}));
    EXPECT_EQ(e[5].selected, 2);

    EXPECT_EQ(e[6].caption, L"Данные");
    EXPECT_EQ(e[6].choices, (Choices{{5, L"5"}, {6, L"6"}, {7, L"7"}, {8, L"8"}}));
    EXPECT_EQ(e[6].selected, 8);

    EXPECT_EQ(e[7].caption, L"Стоп биты");
    EXPECT_EQ(e[7].choices, (Choices{{0, L"1"}, {1, L"1.5"}, {2, L"2"}}));
    EXPECT_EQ(e[7].selected, 1);

    EXPECT_EQ(e[8].caption, L"Управление потоком");
    EXPECT_EQ(e[8].choices, (Choices{{0, L"Нет"}, {1, L"Аппаратное"}, {2, L"xon/xoff"}}));
    EXPECT_EQ(e[8].selected, 1);
}

TEST_F(PropertyListController, NegativeWaitTimeIsShownSigned) {
    reader.ints[L"WATETIME"] = -1;
    Reload();
    controller.FillView(&view);
    EXPECT_EQ(view.Find(8)->text, L"-1");
}

TEST_F(PropertyListController, EveryFillViewListsAfresh) {
    ports.Present(3);
    controller.FillView(&view);
    ports.names.clear();
    ports.Present(4);
    CRecordingPropertyListView second;
    controller.FillView(&second);
    EXPECT_EQ(second.Find(1)->choices, (Choices{{4, L"COM4"}}));
}

TEST_F(PropertyListController, TheConfiguredPortIsSelectedWhicheverSpellingASourceGave) {
    reader.strings[L"PORT"] = L"COM5";
    Reload();
    ports.Present(2);
    ports.names[Settings::IPortSystem::Source::PortsClass] = {L"com5"};
    controller.FillView(&view);
    EXPECT_EQ(view.Find(1)->choices, (Choices{{2, L"COM2"}, {5, L"COM5"}}));
    EXPECT_EQ(view.Find(1)->selected, 5);
}

TEST_F(PropertyListController, APortNameInLowerCaseIsNeverSelected) {
    reader.strings[L"PORT"] = L"com7";
    Reload();
    ports.Present(2);
    ports.Present(7);
    controller.FillView(&view);
    EXPECT_EQ(view.Find(1)->selected, 2);
}

TEST_F(PropertyListController, TheOfferedLowestPortIsStoredWhenTheViewDeliversIt) {
    ports.Present(4);
    ports.Present(9);
    controller.FillView(&view);
    view.comboValues[1] = view.Find(1)->selected;
    controller.ApplyView();
    EXPECT_EQ(SavedPort(), L"WriteString PORT COM4");
}

TEST_F(PropertyListController, WithNoPortNothingIsOfferedAndThePortNameStays) {
    controller.FillView(&view);
    EXPECT_TRUE(view.Find(1)->choices.empty());
    EXPECT_EQ(view.Find(1)->selected, -1);
    for (int32_t delivered : {-1, 1, 3}) {
        view.comboValues[1] = delivered;
        controller.ApplyView();
        EXPECT_EQ(SavedPort(), L"WriteString PORT COM1") << delivered;
    }
}

TEST_F(PropertyListController, ApplyViewStoresEachDeliveredValueAsItComes) {
    ports.Present(12);
    controller.FillView(&view);
    view.comboValues = {{1, 12}, {2, 12345}, {3, 258}, {4, 7}, {5, 2}, {6, 2}};
    view.textValue = std::optional<std::wstring>(L"  42x");
    EXPECT_TRUE(controller.ApplyView());
    EXPECT_EQ(SavedSettings(), (Saved{L"WriteInt WATETIME 42", L"WriteString PORT COM12", L"WriteInt BAUDRATE 12345",
                                      L"WriteInt PARITY 2", L"WriteInt BYTESIZE 7", L"WriteInt STOPBITS 2",
                                      L"WriteInt FLOWCONTROL 2"}));
}

TEST_F(PropertyListController, APropertyTheViewDoesNotDeliverKeepsItsValueAndTheOthersApply) {
    controller.FillView(&view);
    view.comboValues = {{3, 1}, {4, 7}, {5, 2}, {6, 1}};
    view.textValue = std::optional<std::wstring>(L"5");
    EXPECT_TRUE(controller.ApplyView());
    EXPECT_EQ(SavedSettings(), (Saved{L"WriteInt WATETIME 5", L"WriteString PORT COM1", L"WriteInt BAUDRATE 9600",
                                      L"WriteInt PARITY 1", L"WriteInt BYTESIZE 7", L"WriteInt STOPBITS 2",
                                      L"WriteInt FLOWCONTROL 1"}));
}

TEST_F(PropertyListController, TheWaitTimeDecidesTheAnswer) {
    controller.FillView(&view);
    EXPECT_FALSE(controller.ApplyView()) << "text not delivered";
    EXPECT_EQ(SavedSettings()[0], L"WriteInt WATETIME 10");

    view.textValue = std::optional<std::wstring>();  // delivered as a null BSTR
    EXPECT_TRUE(controller.ApplyView());
    EXPECT_EQ(SavedSettings()[0], L"WriteInt WATETIME 0");

    view.textValue = std::optional<std::wstring>(L"99999999999");
    EXPECT_TRUE(controller.ApplyView());
    EXPECT_EQ(SavedSettings()[0], L"WriteInt WATETIME 2147483647");
}

TEST_F(PropertyListController, ApplyViewWithoutAViewRefusesAndReadsNothing) {
    EXPECT_FALSE(controller.ApplyView());
    controller.FillView(nullptr);
    EXPECT_FALSE(controller.ApplyView());
    EXPECT_EQ(view.readBacks, 0);
    EXPECT_EQ(SavedSettings()[0], L"WriteInt WATETIME 10");
}

// FillView failing at every allocation in turn: no exception leaves, nothing
// leaks, and the next FillView fills a whole list.
TEST_F(PropertyListController, FillViewFailingAtEveryAllocationLeaksNothing) {
    ports.Present(3);
    ports.Present(12);
    auto fillWhole = [this] {
        CRecordingPropertyListView whole;
        controller.FillView(&whole);
        return whole.entries.size() == 9 && whole.Find(1)->choices == Choices{{3, L"COM3"}, {12, L"COM12"}};
    };
    ASSERT_TRUE(fillWhole());
    const long before = AllocationCounter::Outstanding();
    long failures = 0;
    for (long n = 1;; ++n) {
        {
            CRecordingPropertyListView failing;
            AllocationCounter::FailAt(n);
            EXPECT_NO_THROW(controller.FillView(&failing)) << "allocation " << n;
        }
        const bool fired = AllocationCounter::Fired();
        AllocationCounter::FailAt(0);
        if (!fired) break;
        ++failures;
        EXPECT_TRUE(fillWhole()) << "after failing allocation " << n;
        ASSERT_EQ(AllocationCounter::Outstanding(), before) << "leak after failing allocation " << n;
    }
    EXPECT_GT(failures, 30);
}

}  // namespace
