#include <gtest/gtest.h>
#include <vector>
#include "AllocationCounter.h"
#include "RecordingPropertyListView.h"
#include "plugin_api/ComboItem.h"
#include "settings/ComboChoices.h"

namespace {

using Fakes::Choices;
using Fakes::CRecordingPropertyListView;

const Settings::OptionList kThree{{7, L"seven"}, {1, L"one"}, {3, L"three"}};

class ComboChoices : public ::testing::Test {
protected:
    bool Offer(const Settings::OptionList& choices, int32_t selected = 3) {
        return Settings::OfferChoices(view, 42, true, L"caption", choices, selected);
    }

    // Drops what the view recorded, so only live items count as allocated.
    void ForgetRecords() {
        std::vector<Fakes::RecordedEntry>().swap(view.entries);
        std::vector<Plugin::IComboItem*>().swap(view.kept);
    }

    CRecordingPropertyListView view;
    const long allocationsBefore = AllocationCounter::Outstanding();
};

TEST_F(ComboChoices, TheViewGetsEveryChoiceInAscendingValueAndNoItemOutlivesTheCall) {
    EXPECT_TRUE(Offer(kThree));
    ASSERT_EQ(view.entries.size(), 1u);
    const Fakes::RecordedEntry& entry = view.entries[0];
    EXPECT_EQ(entry.id, 42);
    EXPECT_TRUE(entry.flag);
    EXPECT_EQ(entry.caption, L"caption");
    EXPECT_EQ(entry.selected, 3);
    EXPECT_EQ(entry.choices, (Choices{{1, L"one"}, {3, L"three"}, {7, L"seven"}}));
    ForgetRecords();
    EXPECT_EQ(AllocationCounter::Outstanding(), allocationsBefore);
}

TEST_F(ComboChoices, ReturnsWhatTheViewAnswered) {
    view.comboResult = false;
    EXPECT_FALSE(Offer(kThree));
}

TEST_F(ComboChoices, AnEmptyListGivesAnEnumeratorAtItsEnd) {
    bool hadCurrent = true;
    view.onCombo = [&](int32_t, auto& choices) { hadCurrent = choices.HasCurrent(); };
    Offer({}, -1);
    EXPECT_FALSE(hadCurrent);
}

TEST_F(ComboChoices, EnumeratorWalksStopsAtTheEndAndResets) {
    std::vector<int32_t> walked;
    view.onCombo = [&](int32_t, auto& choices) {
        for (; choices.HasCurrent(); choices.MoveNext()) walked.push_back(choices.GetCurrent()->GetValue());
        choices.MoveNext();
        EXPECT_FALSE(choices.HasCurrent()) << "MoveNext at the end stays at the end";
        choices.Reset();
        ASSERT_TRUE(choices.HasCurrent());
        EXPECT_EQ(choices.GetCurrent()->GetValue(), 1);
    };
    Offer(kThree);
    EXPECT_EQ(walked, (std::vector<int32_t>{1, 3, 7}));
}

TEST_F(ComboChoices, CaptionsAreFreshStringsEachCall) {
    view.onCombo = [](int32_t, auto& choices) {
        Plugin::IComboItem* item = choices.GetCurrent();
        BSTR first = item->GetCaption();
        BSTR second = item->GetCaption();
        EXPECT_NE(first, second);
        EXPECT_STREQ(first, L"one");
        SysFreeString(first);
        EXPECT_STREQ(second, L"one");
        SysFreeString(second);
    };
    Offer(kThree);
}

TEST_F(ComboChoices, AnItemTheViewKeepsLivesUntilTheViewReleasesIt) {
    view.keepItem = {{42, 1}};
    Offer(kThree);
    ASSERT_EQ(view.kept.size(), 1u);
    Plugin::IComboItem* item = view.kept[0];
    ForgetRecords();
    EXPECT_EQ(item->GetValue(), 3);
    item->AddRef();
    EXPECT_FALSE(item->Release()) << "count 2 to 1";
    EXPECT_TRUE(item->Release()) << "the view's was the last reference";
    EXPECT_EQ(AllocationCounter::Outstanding(), allocationsBefore);
}

// Every allocation of building the items fails in turn: the error leaves,
// the view is never called, and the items made so far are gone.
TEST_F(ComboChoices, FailingAllocationsLeakNoItemAndSkipTheView) {
    for (long n = 1;; ++n) {
        AllocationCounter::FailAt(n);
        bool failed = false;
        try {
            Offer(kThree);
        } catch (const std::exception&) {
            failed = true;
        }
        const bool fired = AllocationCounter::Fired();
        AllocationCounter::FailAt(0);
        if (!fired) break;
        EXPECT_TRUE(failed) << "allocation " << n;
        EXPECT_TRUE(view.entries.empty()) << "allocation " << n;
        EXPECT_EQ(AllocationCounter::Outstanding(), allocationsBefore) << "allocation " << n;
    }
}

}  // namespace
