// Awkward but legal moves of a host, made through the plug-in's table only:
// the last Release from inside any callback, while bytes stream or while
// exchanges restart from their final events, starts racing the final event,
// a window host whose callbacks send to its UI thread, sinks swapped and
// requests left queued, and how long stopping and releasing take.
#include <gtest/gtest.h>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <vector>
#include "RecordingSink.h"
#include "FakeRequest.h"
#include "ProcessCensus.h"
#include "RigPlugin.h"
#include "RigTest.h"
#include "HostWindow.h"
#include "win32/Event.h"

namespace {

constexpr DWORD kPatience = 10000;

double NowMilliseconds() {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return double(now.QuadPart) * 1000.0 / double(frequency.QuadPart);
}

struct Event : Win32::CEvent {
    Event() : Win32::CEvent(Reset::Manual) {}
    bool WaitFor(DWORD milliseconds) const { return WaitForSingleObject(Get(), milliseconds) == WAIT_OBJECT_0; }
};

bool WaitUntil(DWORD milliseconds, const std::function<bool()>& done) {
    const ULONGLONG deadline = GetTickCount64() + milliseconds;
    while (!done()) {
        if (GetTickCount64() >= deadline) return false;
        Sleep(1);
    }
    return true;
}

// Counts as a recording sink does, and catches what a host must never see: two
// calls in progress at once, or a call that starts once the host has let go.
class CGuardedSink : public CRecordingSink {
public:
    std::atomic<bool> closed{false};
    std::atomic<int> inside{0}, overlaps{0}, calls{0}, lateCalls{0}, lateCode{-1};
    std::atomic<double> lastStopped{0};

    void OnEvent(int32_t code, const void* data, uint32_t count) override {
        Enter(code);
        if (code == EventStopped) lastStopped = NowMilliseconds();
        CRecordingSink::OnEvent(code, data, count);
        --inside;
    }
    void OnRequestDone(ITransferRequest* request) override {
        Enter(RequestDone);
        CRecordingSink::OnRequestDone(request);
        --inside;
    }

private:
    void Enter(int32_t code) {
        if (inside++ != 0) ++overlaps;
        ++calls;
        if (closed && lateCalls++ == 0) lateCode = code;
    }
};

class HostMoves : public RigTest {
protected:
    void SetUp() override {
        RigTest::SetUp();
        WarmUpTheRig();
        // Before any instrument thread: each test ends those it starts.
        handles = Census::HandleCount();
        threads = Census::ThreadCount();
    }
    void TearDown() override {
        if (auto* left = plugin.exchange(nullptr)) left->Release();
        instrument.StopStreaming();
        instrument.StopReading();
        // A held line's bytes must not reach the next test.
        instrument.ReadUntilQuiet(200);
        instrument.Purge();
    }

    void Create() { plugin = CreateLoadedPlugin(settings, &sink); }
    void StartAndWait() {
        const size_t started = sink.Count(EventStarted);
        ASSERT_TRUE(plugin.load()->StartExchange());
        ASSERT_TRUE(sink.WaitFor(EventStarted, kPatience, started + 1));
    }
    // -1 when the reference was already gone.
    int ReleaseLast() {
        auto* last = plugin.exchange(nullptr);
        return last ? last->Release() : -1;
    }
    // A host thread still inside a call holds the object: the callback waits
    // until the host has made its last call.
    void ReleaseFromCallback() {
        if (released >= 0 || !WaitUntil(kPatience, [&] { return hostDone.load(); })) return;
        const int result = ReleaseLast();
        sink.closed = true;
        released = result;
    }
    // After the last Release: nothing more reaches the sink, and the process
    // is back as it was. A failed expectation makes gtest keep a thread and
    // handles of its own under Wine, so the census is taken before any
    // expectation here, and is not judged after an earlier failure.
    void ExpectSilenceAndNothingLeft() {
        const int before = sink.calls;
        Sleep(300);
        const int after = sink.calls, late = sink.lateCalls, overlaps = sink.overlaps;
        instrument.StopReading();
        instrument.StopStreaming();
        const bool judged = !HasFailure();
        const bool settled = Census::SettlesAt(handles, threads, 5000);
        const DWORD handlesNow = Census::HandleCount(), threadsNow = Census::ThreadCount();
        EXPECT_EQ(after, before) << "calls after the end";
        EXPECT_EQ(late, 0) << "calls begun after the host let go; the first's code (0: OnRequestDone): "
                           << sink.lateCode;
        EXPECT_EQ(overlaps, 0);
        if (judged) {
            EXPECT_TRUE(settled) << "handles " << handles << " -> " << handlesNow << ", threads " << threads
                                 << " -> " << threadsNow;
        }
    }

    CGuardedSink sink;
    Fakes::CRecordingSettingsReader settings = RigSettings();
    std::atomic<Plugin::IDevImportPlugin*> plugin{nullptr};
    std::atomic<bool> hostDone{false};
    std::atomic<int> released{-1};
    DWORD handles = 0;
    DWORD threads = 0;
};

struct Callback { const char* name; int32_t code; };

void PrintTo(const Callback& callback, std::ostream* out) { *out << callback.name; }

class LastReleaseInsideACallback : public HostMoves, public ::testing::WithParamInterface<Callback> {};

TEST_P(LastReleaseInsideACallback, IsSafeAndNothingFollowsIt) {
    const int32_t at = GetParam().code;
    // A plug-in released mid-request never hands it back: it outlives the test.
    static CFakeRequest request{RequestBytes(150000)};
    sink.react = [&](const RecordedEvent& event) {
        if (event.code != at) return;
        EXPECT_EQ(plugin.load()->StartExchange(), at == EventStopped) << "only the final event starts the next";
        ReleaseFromCallback();
    };
    instrument.StartReading();
    Create();
    if (at == EventDataSent || at == RequestDone) {
        ASSERT_TRUE(plugin.load()->QueueTransferRequest(&request));
    }
    ASSERT_TRUE(plugin.load()->StartExchange());
    if (at == EventDataReceived || at == EventLogText || at == EventStopped) {
        ASSERT_TRUE(sink.WaitFor(EventStarted, kPatience));
        ASSERT_TRUE(instrument.Send(std::vector<uint8_t>(3000, 0x33)));
    }
    if (at == EventStopped) {
        ASSERT_TRUE(sink.WaitForReceived(3000, kPatience));
        plugin.load()->StopExchange();
    }
    hostDone = true;
    ASSERT_TRUE(WaitUntil(kPatience, [&] { return released >= 0; })) << "the callback never came";
    ExpectSilenceAndNothingLeft();
    EXPECT_EQ(released, 1);
}

INSTANTIATE_TEST_SUITE_P(HostMoves, LastReleaseInsideACallback,
                         ::testing::Values(Callback{"EventStarted", EventStarted},
                                           Callback{"EventDataReceived", EventDataReceived},
                                           Callback{"EventLogText", EventLogText},
                                           Callback{"EventDataSent", EventDataSent},
                                           Callback{"OnRequestDone", RequestDone},
                                           Callback{"EventStopped", EventStopped}),
                         ::testing::PrintToStringParamName());

TEST_F(HostMoves, StartFromAnotherThreadFailsUntilTheFinalEventHasReturned) {
    Event inFinal, mayLeave;
    std::atomic<bool> leftFinal{false};
    sink.react = [&](const RecordedEvent& event) {
        if (event.code != EventStopped || leftFinal) return;
        inFinal.Set();
        WaitForSingleObject(mayLeave.Get(), kPatience);
        leftFinal = true;
    };
    Create();
    StartAndWait();
    plugin.load()->StopExchange();
    ASSERT_TRUE(inFinal.WaitFor(kPatience));
    EXPECT_FALSE(plugin.load()->StartExchange()) << "started while the worker was inside its final event";
    mayLeave.Set();
    ASSERT_TRUE(WaitUntil(kPatience, [&] { return leftFinal.load(); }));
    EXPECT_TRUE(WaitUntil(kPatience, [&] { return plugin.load()->StartExchange(); })) << "refused once it had returned";
    EXPECT_TRUE(sink.WaitFor(EventStarted, kPatience, 2));
    EXPECT_EQ(sink.overlaps, 0);
}

TEST_F(HostMoves, StartFromInsideTheFinalEventBeginsOnlyAfterItReturns) {
    std::atomic<int> restarted{-1};
    sink.react = [&](const RecordedEvent& event) {
        if (event.code != EventStopped || restarted >= 0) return;
        restarted = plugin.load()->StartExchange();
        Sleep(300);
    };
    Create();
    StartAndWait();
    plugin.load()->StopExchange();
    ASSERT_TRUE(sink.WaitFor(EventStarted, kPatience, 2));
    EXPECT_EQ(restarted, 1);
    EXPECT_EQ(sink.overlaps, 0) << "the next EventStarted came while EventStopped was in progress";
}

TEST_F(HostMoves, FailingStartRestartedFromItsFinalEventThenReleasedThereLeavesNothing) {
    constexpr size_t kStarts = 50;
    settings.strings[L"PORT"] = L"COM200";
    std::atomic<size_t> starts{0};
    sink.react = [&](const RecordedEvent& event) {
        if (event.code != EventLogText) return;
        if (sink.Ends() < kStarts) starts += plugin.load()->StartExchange();
        else ReleaseFromCallback();
    };
    Create();
    ASSERT_TRUE(plugin.load()->StartExchange());
    ++starts;
    hostDone = true;
    ASSERT_TRUE(WaitUntil(kPatience, [&] { return released >= 0; })) << sink.Ends() << " of " << kStarts << " ends";
    ExpectSilenceAndNothingLeft();
    EXPECT_EQ(released, 1);
    EXPECT_EQ(starts, kStarts);
    EXPECT_EQ(sink.OpeningErrors(), kStarts);
    EXPECT_EQ(sink.Ends(), kStarts) << "one final event per start";
}

// Each exchange's final event starts the next one; the last reference goes
// while the last of them runs, which then ends without a final event.
TEST_F(HostMoves, ExchangesRestartedFromTheirFinalEventThenReleasedWhileRunning) {
    constexpr size_t kExchanges = 20;
    std::atomic<size_t> restarts{0};
    sink.react = [&](const RecordedEvent& event) {
        if (event.code == EventStopped && sink.Count(EventStopped) < kExchanges && plugin.load()->StartExchange()) {
            ++restarts;
        }
    };
    Create();
    ASSERT_TRUE(plugin.load()->StartExchange());
    for (size_t exchange = 1; exchange <= kExchanges; ++exchange) {
        ASSERT_TRUE(sink.WaitFor(EventStarted, kPatience, exchange)) << "exchange " << exchange;
        if (exchange < kExchanges) plugin.load()->StopExchange();
    }
    sink.closed = true;
    EXPECT_EQ(ReleaseLast(), 1);
    ExpectSilenceAndNothingLeft();
    EXPECT_EQ(restarts, kExchanges - 1);
    EXPECT_EQ(sink.Count(EventStarted), kExchanges);
    EXPECT_EQ(sink.Count(EventStopped), kExchanges - 1);
}

TEST_F(HostMoves, NoCallStartsOnceTheLastReleaseHasBegun) {
    // Slow calls widen the window a late call or an early return would hit.
    sink.react = [](const RecordedEvent& event) {
        if (event.code == EventDataReceived || event.code == EventLogText) Sleep(2);
    };
    instrument.StartStreaming();
    Create();
    StartAndWait();
    ASSERT_TRUE(sink.WaitForReceived(50000, kPatience));
    auto* last = plugin.exchange(nullptr);
    sink.closed = true;
    const bool destroyed = last->Release();
    const int inside = sink.inside;
    ExpectSilenceAndNothingLeft();
    EXPECT_TRUE(destroyed);
    EXPECT_EQ(inside, 0) << "Release returned while a call was in progress";
}

struct HostWait { const char* name; bool release; };

void PrintTo(const HostWait& wait, std::ostream* out) { *out << wait.name; }

class WindowHost : public HostMoves, public ::testing::WithParamInterface<HostWait> {};

// The callback sends to the UI thread just as that thread lets go: without
// its sent messages let through, each would wait for the other until the
// send timed out (for good with SendMessage).
TEST_P(WindowHost, LettingGoWhileTheCallbackSendsToTheUiThreadReturnsWithTheMessageHandled) {
    constexpr UINT kSendTimeout = 3000;
    CHostWindow ui;
    ASSERT_TRUE(ui.handle);
    Event sending;
    std::atomic<bool> sent{false}, delivered{false};
    sink.react = [&](const RecordedEvent& event) {
        if (event.code != EventDataReceived || sent.exchange(true)) return;
        sending.Set();
        DWORD_PTR answer = 0;
        delivered = SendMessageTimeoutW(ui.handle, CHostWindow::kSent, 0, 0, SMTO_NORMAL, kSendTimeout,
                                        &answer) != 0;
    };
    Create();
    StartAndWait();
    ASSERT_TRUE(instrument.Send(std::vector<uint8_t>(16, 0x51)));
    // Not pumped meanwhile: the worker is held inside its send.
    ASSERT_TRUE(sending.WaitFor(kPatience));
    const double begun = NowMilliseconds();
    if (GetParam().release) {
        EXPECT_EQ(ReleaseLast(), 1);
    } else {
        EXPECT_TRUE(plugin.load()->SetEventSink(nullptr));
    }
    const double took = NowMilliseconds() - begun;
    std::printf("%s while the callback sends to this thread: returned after %.2f ms\n", GetParam().name, took);
    // A loaded machine's bound; the window host's own figure is printed.
    EXPECT_LT(took, 1000.0);
    EXPECT_EQ(ui.sent, 1);
    EXPECT_TRUE(WaitUntil(kPatience, [&] { return delivered.load(); })) << "the send timed out";
}

INSTANTIATE_TEST_SUITE_P(HostMoves, WindowHost,
                         ::testing::Values(HostWait{"LastRelease", true}, HostWait{"SetEventSinkToNull", false}),
                         ::testing::PrintToStringParamName());

TEST_F(HostMoves, SinkSwappedMidExchangeGetsEveryLaterEventAndTheOldOneNone) {
    // Outlives the worker, which may still be inside its final event.
    static CGuardedSink second;
    instrument.StartStreaming();
    Create();
    StartAndWait();
    ASSERT_TRUE(sink.WaitForReceived(4096, kPatience));
    ASSERT_TRUE(plugin.load()->SetEventSink(&second));
    // Returned: a call to the old sink under way has ended, and none follows.
    const int oldCalls = sink.calls;
    ASSERT_TRUE(second.WaitForReceived(4096, kPatience));
    plugin.load()->StopExchange();
    ASSERT_TRUE(second.WaitForEnds(1, kPatience));
    EXPECT_EQ(sink.calls, oldCalls);
    EXPECT_EQ(sink.Ends(), 0u);
    EXPECT_EQ(second.overlaps + sink.overlaps, 0);
}

// The first request is under way (its writes held by an instrument that
// does not read) when the last reference goes: the second, still queued,
// is the host's again without the plug-in having asked it anything.
TEST_F(HostMoves, RequestStillQueuedAtTheLastReleaseIsNeverTouched) {
    static CFakeRequest first{RequestBytes(4 << 20)};
    CFakeRequest second{RequestBytes(100)};
    std::atomic<int> handedBack{0};
    sink.react = [&](const RecordedEvent& event) {
        if (event.code == RequestDone) ++handedBack;
    };
    Create();
    ASSERT_TRUE(plugin.load()->QueueTransferRequest(&first));
    ASSERT_TRUE(plugin.load()->QueueTransferRequest(&second));
    const int firstAsked = first.calls, secondAsked = second.calls;
    StartAndWait();
    // Its bytes read: its first chunk is being written.
    ASSERT_TRUE(WaitUntil(kPatience, [&] { return first.calls > firstAsked; }));
    sink.closed = true;
    EXPECT_EQ(ReleaseLast(), 1);
    ExpectSilenceAndNothingLeft();
    EXPECT_EQ(second.calls, secondAsked);
    EXPECT_EQ(handedBack, 0);
}

enum class Line { Quiet, Burst, HeldWrite };

struct LineCase { const char* name; Line line; };

void PrintTo(const LineCase& line, std::ostream* out) { *out << line.name; }

class StopAndReleaseLatency : public HostMoves, public ::testing::WithParamInterface<LineCase> {
protected:
    // A fresh exchange in the line's state.
    void Prepare(Line line) {
        // Queued again by every repeat, and outlives any worker still holding it.
        static CFakeRequest held{RequestBytes(4 << 20)};
        Create();
        StartAndWait();
        if (line == Line::Burst) {
            ASSERT_TRUE(sink.WaitForReceived(sink.ReceivedBytes() + 4096, kPatience));
        }
        if (line == Line::HeldWrite) {
            // The instrument does not read: the pseudo-terminal fills and the
            // write stays pending well within the plug-in's give-up time.
            ASSERT_TRUE(plugin.load()->QueueTransferRequest(&held));
            Sleep(200);
        }
    }
};

// The latency targets are the bench's; on a loaded machine this only fails
// a stop or release that waits out a time-out (a held write's is 3 s).
void ExpectQuick(const char* what, const char* line, std::vector<double> milliseconds) {
    std::sort(milliseconds.begin(), milliseconds.end());
    const double median = milliseconds[milliseconds.size() / 2], worst = milliseconds.back();
    std::printf("%s on a %s line: median %.2f ms, worst %.2f ms\n", what, line, median, worst);
    EXPECT_LT(worst, 1000.0) << what;
}

TEST_P(StopAndReleaseLatency, MedianAndWorstWithinBounds) {
    constexpr int kRepeats = 15;
    const Line line = GetParam().line;
    if (line == Line::Burst) instrument.StartStreaming();
    std::vector<double> stops, releases;
    for (int i = 0; i < kRepeats; ++i) {
        ASSERT_NO_FATAL_FAILURE(Prepare(line));
        const size_t ends = sink.Ends();
        const double asked = NowMilliseconds();
        plugin.load()->StopExchange();
        ASSERT_TRUE(sink.WaitForEnds(ends + 1, kPatience));
        stops.push_back(sink.lastStopped - asked);
        ReleaseLast();

        ASSERT_NO_FATAL_FAILURE(Prepare(line));
        const double called = NowMilliseconds();
        EXPECT_EQ(ReleaseLast(), 1);
        releases.push_back(NowMilliseconds() - called);
    }
    ExpectQuick("StopExchange", GetParam().name, stops);
    ExpectQuick("last Release", GetParam().name, releases);
}

INSTANTIATE_TEST_SUITE_P(HostMoves, StopAndReleaseLatency,
                         ::testing::Values(LineCase{"Quiet", Line::Quiet}, LineCase{"Burst", Line::Burst},
                                           LineCase{"HeldWrite", Line::HeldWrite}),
                         ::testing::PrintToStringParamName());

}  // namespace
