// Starting, stopping and destroying exchanges: races and lifetimes, with a
// scripted driver so that every run takes the same path.
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <thread>
#include "RecordingSink.h"
#include "ModelDriver.h"
#include "serial/ExchangeControl.h"
#include "win32/UniqueHandle.h"

namespace {

constexpr DWORD kPatience = 5000;

// The port-opening error as the host must receive it: 42 bytes of UTF-8.
const std::string kOpenError =
    "\xD0\x9E\xD1\x88\xD0\xB8\xD0\xB1\xD0\xBA\xD0\xB0\x20\xD0\xBE\xD1\x82\xD0\xBA\xD1\x80\xD1\x8B"
    "\xD1\x82\xD0\xB8\xD1\x8F\x20\xD0\xBF\xD0\xBE\xD1\x80\xD1\x82\xD0\xB0\x2E\x0A";

bool WaitUntil(const std::atomic<bool>& flag, DWORD milliseconds) {
    ULONGLONG end = GetTickCount64() + milliseconds;
    while (!flag && GetTickCount64() < end) Sleep(5);
    return flag;
}

class ExchangeControl : public ::testing::Test {
protected:
    void SetUp() override {
        control->SetSink(&sink);
        target.devicePath = L"\\\\.\\COM3";
    }
    bool Start() { return control->StartExchange(target); }

    CModelDriver api;
    CRecordingSink sink;
    Serial::Exchange::Target target;
    std::unique_ptr<Serial::CExchangeControl> control = std::make_unique<Serial::CExchangeControl>(api.Table());
};

TEST_F(ExchangeControl, WithoutASinkNothingStarts) {
    control->SetSink(nullptr);
    EXPECT_FALSE(Start());
    Sleep(100);
    EXPECT_TRUE(api.OpenedPaths().empty());
}

TEST_F(ExchangeControl, MissingPortGivesOnlyTheErrorText) {
    api.quirks.openError = ERROR_FILE_NOT_FOUND;
    ASSERT_TRUE(Start());
    ASSERT_TRUE(sink.WaitFor(EventLogText, kPatience));
    Sleep(200);
    auto events = sink.Events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(std::string(events[0].data.begin(), events[0].data.end()), kOpenError);
}

TEST_F(ExchangeControl, SecondStartIsRefusedUntilTheExchangeIsOver) {
    ASSERT_TRUE(Start());
    EXPECT_FALSE(Start()) << "refused before the worker opened the port";
    ASSERT_TRUE(sink.WaitFor(EventStarted, kPatience));
    EXPECT_FALSE(Start()) << "refused while the port is open";
    EXPECT_FALSE(control->StopExchange()) << "the port was open";
    ASSERT_TRUE(sink.WaitFor(EventStopped, kPatience));
    EXPECT_TRUE(control->StopExchange()) << "the port is no longer held";
    EXPECT_EQ(sink.Count(EventStarted), 1u);
    EXPECT_EQ(api.OpenedPaths().size(), 1u);
}

// The host may end its process once it has let go after the final event.
TEST_F(ExchangeControl, StopRightAfterTheStartIsNotLostAndLettingGoWaitsForTheWorkerToEnd) {
    Win32::CUniqueHandle worker;
    sink.react = [&](const RecordedEvent&) { worker.Reset(OpenThread(SYNCHRONIZE, FALSE, GetCurrentThreadId())); };
    ASSERT_TRUE(Start());
    control->StopExchange();
    EXPECT_TRUE(sink.WaitFor(EventStopped, 1000));
    control.reset();
    EXPECT_EQ(WaitForSingleObject(worker.Get(), 0), WAIT_OBJECT_0);
}

// The auto-restart pattern: the final event starts the next exchange while
// another of the host's threads stops. That stop is the new exchange's.
TEST_F(ExchangeControl, AStopMadeWhileTheFinalEventRunsEndsTheExchangeItStarts) {
    std::atomic<int> finals{0};
    sink.react = [&](const RecordedEvent& event) {
        if (event.code != EventStopped || finals++ != 0) return;
        std::thread([&] { control->StopExchange(); }).join();
        EXPECT_TRUE(Start());
    };
    ASSERT_TRUE(Start());
    ASSERT_TRUE(sink.WaitFor(EventStarted, kPatience));
    control->StopExchange();
    EXPECT_TRUE(sink.WaitFor(EventStopped, kPatience, 2)) << "the stop was lost";
}

TEST_F(ExchangeControl, StopWhileIdleDoesNotEndTheNextExchange) {
    EXPECT_TRUE(control->StopExchange());
    ASSERT_TRUE(Start());
    ASSERT_TRUE(sink.WaitFor(EventStarted, kPatience));
    EXPECT_FALSE(sink.WaitFor(EventStopped, 400));
    control->StopExchange();
    EXPECT_TRUE(sink.WaitFor(EventStopped, kPatience));
}

// Another thread's start is refused while the next exchange runs, and
// letting go waits for the worker that the start replaced, too. That one is
// made to linger on its way out: its fiber-local data, let go as its thread
// ends, after its final event and outside the loader's lock, takes 300 ms,
// longer than the whole next exchange.
TEST_F(ExchangeControl, StartFromTheFinalEventStartsTheNextExchange) {
    const DWORD linger = FlsAlloc([](void*) { Sleep(300); });
    ASSERT_NE(linger, FLS_OUT_OF_INDEXES);
    std::atomic<bool> restarted{false};
    Win32::CUniqueHandle replaced;
    sink.react = [&](const RecordedEvent& event) {
        if (event.code == EventStopped && sink.Count(EventStopped) == 1) {
            FlsSetValue(linger, &replaced);
            replaced.Reset(OpenThread(SYNCHRONIZE, FALSE, GetCurrentThreadId()));
            restarted = Start();
            // Under Wine a thread that begins while another lets its
            // fiber-local data go waits for that: the next worker begins first.
            Sleep(50);
        }
        if (event.code == EventStarted && sink.Count(EventStarted) == 1) control->StopExchange();
    };
    ASSERT_TRUE(Start());
    ASSERT_TRUE(sink.WaitFor(EventStarted, kPatience, 2));
    EXPECT_FALSE(Start()) << "a second worker on the port";
    control->StopExchange();
    ASSERT_TRUE(sink.WaitFor(EventStopped, kPatience, 2));
    EXPECT_TRUE(restarted);
    EXPECT_EQ(sink.Codes(), (std::vector<int32_t>{EventStarted, EventStopped, EventStarted, EventStopped}));
    control.reset();
    EXPECT_EQ(WaitForSingleObject(replaced.Get(), 0), DWORD(WAIT_OBJECT_0));
    FlsFree(linger);
}

// The host's other threads may not start an exchange while the last one's
// final event is still being delivered: two workers would be in the sink.
TEST_F(ExchangeControl, StartFromAnotherThreadWaitsForTheFinalEventToReturn) {
    std::atomic<int> startedDuringTheEvent{-1};
    sink.react = [&](const RecordedEvent& event) {
        if (event.code == EventStarted) control->StopExchange();
        if (event.code != EventStopped || sink.Count(EventStopped) != 1) return;
        std::thread other([&] { startedDuringTheEvent = Start() ? 1 : 0; });
        other.join();
    };
    ASSERT_TRUE(Start());
    ASSERT_TRUE(sink.WaitFor(EventStopped, kPatience));
    ULONGLONG end = GetTickCount64() + kPatience;
    while (!Start() && GetTickCount64() < end) Sleep(1);
    ASSERT_TRUE(sink.WaitFor(EventStopped, kPatience, 2)) << "the start after the event was taken";
    EXPECT_EQ(startedDuringTheEvent, 0);
    EXPECT_EQ(sink.Codes(), (std::vector<int32_t>{EventStarted, EventStopped, EventStarted, EventStopped}));
}

// The host may free its sink as soon as it has let go: the exchange ends
// without a final event, its port closed and its I/O reaped.
TEST_F(ExchangeControl, DestroyingDuringAnExchangeEndsItSilentlyAndWaitsForTheWorker) {
    ASSERT_TRUE(Start());
    ASSERT_TRUE(sink.WaitFor(EventStarted, kPatience));
    ULONGLONG start = GetTickCount64();
    control.reset();
    EXPECT_LT(GetTickCount64() - start, 150u);
    EXPECT_EQ(api.OpenHandles(), 0);
    EXPECT_EQ(api.Unreaped(), 0u);
    Sleep(100);
    EXPECT_EQ(sink.Codes(), std::vector<int32_t>{EventStarted});
}

// Hosts drop their last reference from the final event, on the worker's own
// thread: the owner goes while its worker is still inside the call.
TEST_F(ExchangeControl, DestroyingFromTheFinalEventNeitherHangsNorTouchesTheOwner) {
    std::atomic<bool> destroyed{false};
    sink.react = [&](const RecordedEvent& event) {
        if (event.code == EventStarted) control->StopExchange();
        if (event.code == EventStopped) {
            control.reset();
            destroyed = true;
        }
    };
    ASSERT_TRUE(Start());
    EXPECT_TRUE(WaitUntil(destroyed, kPatience));
}

// The next exchange, started from inside the final event, waits for that
// event to return; the owner let go there, so it never opens the port.
TEST_F(ExchangeControl, DestroyingFromTheFinalEventAfterARestartLeavesThePortAlone) {
    std::atomic<bool> destroyed{false};
    sink.react = [&](const RecordedEvent& event) {
        if (event.code == EventStarted) control->StopExchange();
        if (event.code == EventStopped) {
            EXPECT_TRUE(Start());
            Sleep(100);
            control.reset();
            destroyed = true;
        }
    };
    ASSERT_TRUE(Start());
    ASSERT_TRUE(WaitUntil(destroyed, kPatience));
    Sleep(200);
    EXPECT_EQ(api.OpenedPaths().size(), 1u) << "the first exchange's open only";
    EXPECT_EQ(api.OpenHandles(), 0);
    EXPECT_EQ(sink.Codes(), (std::vector<int32_t>{EventStarted, EventStopped}));
}

}  // namespace
