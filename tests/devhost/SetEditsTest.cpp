#include <gtest/gtest.h>
#include <windows.h>
#include <vector>
#include "PropertyView.h"
#include "plugin_api/SharedConstants.h"
#include "win32/UniqueBstr.h"
#include "plugin_api/ComboItem.h"
#include "plugin_api/EnumeratorImpl.h"

namespace {

using namespace DevHost;

const std::vector<Choice> kParity = {{0, L"Нет"}, {1, L"Нечет"}, {2, L"Чет"}, {3, L"Маркер"}, {4, L"Пробел"}};
const std::vector<Choice> kStopBits = {{0, L"1"}, {1, L"1.5"}, {2, L"2"}};
const std::vector<Choice> kPorts = {{3, L"COM3"}, {12, L"COM12"}};

// All or nothing: one bad argument leaves the requests as they were. The
// stored keys, accepted as names, are the ones the plug-in shares.
TEST(SetArguments, TakesNamesOrStoredKeysInAnyCaseAndRefusesTheWholeLineForOneBadArgument) {
    Edits edits;
    std::wstring error;
    ASSERT_TRUE(ParseSetArguments({L"port=COM5", L"BAUDRATE=115200", L"Wait=5"}, edits, error));
    const Edits parsed = {{Shared::kPort.propertyId, L"COM5"},
                          {Shared::kBaudRate.propertyId, L"115200"},
                          {Shared::kWaitTime.propertyId, L"5"}};
    EXPECT_EQ(edits, parsed);
    // Nothing, no '=', no value, one setting twice, an unknown name.
    const std::vector<std::vector<std::wstring>> bad = {
        {}, {L"port"}, {L"port="}, {L"baud=9600", L"BAUDRATE=300"}, {L"port=COM6", L"speed=9600"},
    };
    for (const auto& arguments : bad) {
        EXPECT_FALSE(ParseSetArguments(arguments, edits, error)) << arguments.size();
        EXPECT_EQ(edits, parsed);
    }
    EXPECT_NE(error.find(L"port, baud, parity, data, stop, flow, wait"), std::wstring::npos) << "names the valid ones";
}

// The plug-in selects the first port found in place of a stored one that is
// missing, yet opens the stored one: devhost shows what is stored.
TEST(UnofferedSelection, AStoredValueNoChoiceHoldsIsSaidAsSuch) {
    const auto unoffered = [](int32_t id, const std::vector<Choice>& choices, int32_t selected) {
        return OfferedProperty{OfferedProperty::Kind::Choice, id, L"", L"", choices, selected, {}}.Unoffered(L"COM9");
    };
    EXPECT_EQ(unoffered(1, kPorts, 3), L"COM9 (not present)");
    EXPECT_EQ(unoffered(1, {{9, L"COM9"}}, 3), L"");
    EXPECT_EQ(unoffered(3, kParity, 9), L"9 (not among the choices)");
    EXPECT_EQ(unoffered(3, kParity, 2), L"");
}

// A view filled as the plug-in fills it: a text property and two drop-downs
// whose items are the plug-in's own reference-counted ones.
class EditResolution : public ::testing::Test {
protected:
    void SetUp() override {
        view.AddGroup(L"Настройки автоимпорта");
        view.AddTextProperty(8, true, L"Время ожидания", L"10");
        Offer(1, kPorts, 3);
        Offer(3, kParity, 0);
        Offer(5, kStopBits, 0);
    }

    void Offer(int32_t id, const std::vector<Choice>& choices, int32_t selected) {
        std::vector<Plugin::IComboItem*> items;
        for (const Choice& choice : choices) {
            items.push_back(new Plugin::Detail::CComboItem(choice.value, choice.caption.c_str()));
            items.back()->AddRef();
        }
        Plugin::CEnumeratorImpl<std::vector<Plugin::IComboItem*>> enumerator(items);
        view.AddComboProperty(id, true, L"caption", &enumerator, selected);
        for (Plugin::IComboItem* item : items) EXPECT_TRUE(item->Release()) << "the view keeps no item";
    }

    CPropertyView view;
};

// A caption wins over a value: stop=1 is the caption "1", not value 1.
TEST_F(EditResolution, TakesOnlyWhatIsOfferedByCaptionEnglishNameOrValue) {
    constexpr int32_t kRefused = -99;
    const struct {
        int32_t property;
        const wchar_t* text;
        int32_t expected;
    } cases[] = {
        {3, L"чЕТ", 2},       {3, L"EVEN", 2},     {3, L"4", 4},        {5, L"1", 0},        {5, L"1.5", 1},
        {1, L"com12", 12},    {3, L"nonee", kRefused}, {3, L"5", kRefused}, {1, L"COM5", kRefused},
        {1, L"5", kRefused},  {5, L"3", kRefused}, {1, L"COM3 ", kRefused}, {3, L"", kRefused},
        {8, L"2147483647", INT32_MAX}, {8, L"-1", kRefused}, {8, L"2.5", kRefused}, {8, L" 5", kRefused},
        {8, L"2147483648", kRefused},
    };
    for (const auto& c : cases) {
        CPropertyView edited = view;
        std::wstring errors;
        EXPECT_EQ(edited.Edit({{c.property, c.text}}, errors), c.expected != kRefused) << c.text;
        int32_t value = kRefused;
        BSTR text = nullptr;
        if (c.property != 8) edited.GetComboValue(c.property, &value);
        if (c.property == 8 && edited.GetTextValue(8, &text)) value = std::stoi(text);
        SysFreeString(text);
        EXPECT_EQ(value, c.expected) << c.text;
    }
}

TEST_F(EditResolution, AnswersRequestedValuesAndDeclinesTheRest) {
    std::wstring errors;
    ASSERT_TRUE(view.Edit({{1, L"COM12"}, {8, L"5"}}, errors)) << errors.c_str();
    int32_t value = 0;
    EXPECT_TRUE(view.GetComboValue(1, &value));
    EXPECT_EQ(value, 12);
    BSTR text = nullptr;
    ASSERT_TRUE(view.GetTextValue(8, &text));
    EXPECT_STREQ(text, L"5");
    SysFreeString(text);
    EXPECT_FALSE(view.GetComboValue(3, &value)) << "parity was not asked for";
}

TEST_F(EditResolution, OneRefusedValueAnswersNothingAndNamesTheChoices) {
    std::wstring errors;
    EXPECT_FALSE(view.Edit({{1, L"COM12"}, {3, L"nome"}, {8, L"x"}}, errors));
    EXPECT_NE(errors.find(L"parity=nome is not among the choices: Нет (none)"), std::wstring::npos);
    EXPECT_NE(errors.find(L"wait=x"), std::wstring::npos);
    int32_t value = 0;
    EXPECT_FALSE(view.GetComboValue(1, &value)) << "the valid port must not be applied either";
}

TEST_F(EditResolution, APropertyThePluginDidNotOfferIsRefused) {
    std::wstring errors;
    EXPECT_FALSE(view.Edit({{2, L"9600"}}, errors));
    EXPECT_NE(errors.find(L"offers no baud"), std::wstring::npos);
}

}  // namespace
