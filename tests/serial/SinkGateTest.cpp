// The gate to the host's sink, with threads of the test's own as the
// exchange's workers and as the host.
#include <gtest/gtest.h>
#include <atomic>
#include <functional>
#include <thread>
#include "HostWindow.h"
#include "TraceLines.h"
#include "win32/Event.h"
#include "serial/SinkGate.h"

namespace {

// Counts the calls that begin, or are still under way, once the host has
// been told by SetEventSink that it may free this sink. Each call looks for
// a while, as a host's callback takes its time.
class CWithdrawnSink : public IDeviceEventSink {
public:
    std::atomic<bool> withdrawn{false};
    std::atomic<long> late{0};
    std::atomic<long> calls{0};

    void OnEvent(int32_t, const void*, uint32_t) override {
        ++calls;
        for (int check = 0; check < 200; ++check) {
            if (withdrawn) {
                ++late;
                return;
            }
            SwitchToThread();
        }
    }
    void OnRequestDone(ITransferRequest*) override {}
};

// Two workers call, as a new exchange's worker waits for the previous one's
// final event, while the host swaps its sink on. Each worker lets the other
// in after its call, so one often waits for the other's call while the
// host swaps: the moment a sink read too early would be called after all.
TEST(SinkGate, NoCallReachesASinkOnceItsWithdrawalHasReturned) {
    Serial::CSinkGate gate;
    // A sink stays withdrawn for two swaps after its own.
    CWithdrawnSink sinks[3];
    std::atomic<bool> done{false};
    auto work = [&] {
        while (!done) {
            gate.OnEvent(EventDataReceived, nullptr, 0);
            SwitchToThread();
        }
    };
    std::thread first(work);
    std::thread second(work);
    for (int swap = 1; sinks[0].calls + sinks[1].calls + sinks[2].calls < 2000; ++swap) {
        CWithdrawnSink& next = sinks[swap % 3];
        next.withdrawn = false;
        gate.Set(&next);
        sinks[(swap + 2) % 3].withdrawn = true;
    }
    done = true;
    first.join();
    second.join();
    EXPECT_EQ(sinks[0].late + sinks[1].late + sinks[2].late, 0);
}

// Holds its call until the trace has the line it waits for.
class CHeldSink : public IDeviceEventSink {
public:
    CHeldSink(const CTraceLines& trace, const wchar_t* line) : m_trace(trace), m_line(line) {}
    void OnEvent(int32_t, const void*, uint32_t) override {
        inCall.Set();
        traced = m_trace.WaitFor(m_line, 5000);
    }
    void OnRequestDone(ITransferRequest*) override {}

    Win32::CEvent inCall{Win32::CEvent::Reset::Manual};
    bool traced = false;

private:
    const CTraceLines& m_trace;
    const wchar_t* m_line;
};

// A host's wait for a callback under way that lasts over a second says in
// the trace what it waits for.
TEST(SinkGate, AWaitOverASecondNamesWhatItWaitsFor) {
    struct Case {
        const char* wait;
        std::function<void(Serial::CSinkGate&)> letGo;
        const wchar_t* line;
    } cases[] = {
        {"withdrawing the sink", [](Serial::CSinkGate& gate) { gate.Set(nullptr); },
         L"waiting over 1000 ms for a call to the old event sink to return"},
        {"closing the gate", [](Serial::CSinkGate& gate) { gate.Close(); },
         L"waiting over 1000 ms for the event sink's call under way to return"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.wait);
        CTraceLines trace;
        CHeldSink sink(trace, c.line);
        Serial::CSinkGate gate;
        gate.Set(&sink);
        std::thread worker([&] { gate.OnEvent(EventDataReceived, nullptr, 0); });
        EXPECT_EQ(WaitForSingleObject(sink.inCall.Get(), 5000), WAIT_OBJECT_0);
        c.letGo(gate);
        worker.join();
        EXPECT_TRUE(sink.traced);
        EXPECT_EQ(trace.With(L"waiting over").size(), 1u);
    }
}

// Moves its call into the host's window, as a window host's callback does.
class CSendingSink : public IDeviceEventSink {
public:
    explicit CSendingSink(HWND window) : m_window(window) {}
    void OnEvent(int32_t, const void*, uint32_t) override {
        inCall.Set();
        DWORD_PTR answer = 0;
        answered = SendMessageTimeoutW(m_window, CHostWindow::kSent, 0, 0, SMTO_NORMAL, 5000, &answer) != 0;
    }
    void OnRequestDone(ITransferRequest*) override {}

    Win32::CEvent inCall{Win32::CEvent::Reset::Manual};
    bool answered = false;

private:
    HWND m_window;
};

// The host's wait lets through what a callback sends to its thread, and no
// posted message: that waits for the host's own message loop.
TEST(SinkGate, AWaitForACallDispatchesOnlyTheMessagesSentToTheHostsThread) {
    CHostWindow window;
    ASSERT_TRUE(window.handle);
    PostMessageW(window.handle, CHostWindow::kPosted, 0, 0);
    CSendingSink sink(window.handle);
    Serial::CSinkGate gate;
    gate.Set(&sink);
    std::thread worker([&] { gate.OnEvent(EventDataReceived, nullptr, 0); });
    EXPECT_EQ(WaitForSingleObject(sink.inCall.Get(), 5000), WAIT_OBJECT_0);
    gate.Set(nullptr);
    worker.join();
    EXPECT_TRUE(sink.answered);
    EXPECT_EQ(window.sent, 1);
    EXPECT_EQ(window.posted, 0);
    MSG message;
    EXPECT_TRUE(PeekMessageW(&message, window.handle, CHostWindow::kPosted, CHostWindow::kPosted, PM_REMOVE));
}

}  // namespace
