// A property list that answers with garbage: each value is stored as the
// settings' own rules make it, and nothing else changes.
#include <gtest/gtest.h>
#include <climits>
#include <optional>
#include "RecordingPropertyListView.h"
#include "RecordingSettings.h"
#include "ScriptedPortSystem.h"
#include "plugin/DeviceCommonPlugin.h"

namespace {

struct GarbageCombo {
    int32_t id;
    int32_t value;
    const wchar_t* saved;
};

struct GarbageText {
    std::optional<std::wstring> text;
    const wchar_t* saved;
};

class BadViewValues : public ::testing::Test {
protected:
    BadViewValues() {
        ports.Present(3);
        plugin->LoadSettings(&reader);
        plugin->GetPropertyListController()->FillView(&view);
        view.textValue.reset();
    }
    ~BadViewValues() override { plugin->Release(); }

    std::vector<std::wstring> Saved() {
        Fakes::CRecordingSettingsWriter writer;
        plugin->SaveSettings(&writer);
        return writer.calls;
    }

    Fakes::CScriptedPortSystem ports;
    Fakes::CRecordingSettingsReader reader;
    Plugin::CDeviceCommonPlugin* plugin = Plugin::CDeviceCommonPlugin::Create(ports);
    Fakes::CRecordingPropertyListView view;
};

TEST_F(BadViewValues, OutOfRangeChoicesAreStoredByTheFieldsRulesOrRefused) {
    const GarbageCombo cases[] = {
        {1, 9999, L"WriteString PORT COM1"},  // never offered: the name stays
        {1, -1, L"WriteString PORT COM1"},
        {2, -1, L"WriteInt BAUDRATE -1"},
        {2, 0, L"WriteInt BAUDRATE 0"},
        {3, 260, L"WriteInt PARITY 4"},  // byte fields keep the low byte
        {4, -56, L"WriteInt BYTESIZE 200"},
        {5, INT_MIN, L"WriteInt STOPBITS 0"},
        {6, 77, L"WriteInt FLOWCONTROL 77"},
    };
    for (const GarbageCombo& garbage : cases) {
        const auto before = Saved();
        view.comboValues = {{garbage.id, garbage.value}};
        plugin->GetPropertyListController()->ApplyView();
        // Saved in the order of the ids, the wait time first.
        const auto after = Saved();
        for (size_t i = 0; i < after.size(); ++i) {
            EXPECT_EQ(after[i], int32_t(i) == garbage.id ? garbage.saved : before[i])
                << "property " << garbage.id << " value " << garbage.value;
        }
    }
}

TEST_F(BadViewValues, GarbageWaitTimeTextsAreReadAsTheNumberTheyStartWith) {
    const GarbageText cases[] = {
        {L"abc", L"WriteInt WATETIME 0"},
        {L"", L"WriteInt WATETIME 0"},
        {std::nullopt, L"WriteInt WATETIME 0"},
        {L"12 seconds", L"WriteInt WATETIME 12"},
        {L"99999999999999999999", L"WriteInt WATETIME 2147483647"},
        {L"-99999999999", L"WriteInt WATETIME -2147483648"},
        {std::wstring(100000, L'9'), L"WriteInt WATETIME 2147483647"},
        {L"\x0661\x0662", L"WriteInt WATETIME 0"},  // digits of another script
    };
    for (const GarbageText& garbage : cases) {
        view.comboValues.clear();
        view.textValue = garbage.text;
        EXPECT_TRUE(plugin->GetPropertyListController()->ApplyView());
        EXPECT_EQ(Saved()[0], garbage.saved);
    }
}

}  // namespace
