// One exchange's steps against a scripted driver: results Wine cannot give,
// and a clock the test moves.
#include <gtest/gtest.h>
#include <functional>
#include "RecordingSink.h"
#include "ModelDriver.h"
#include "TraceLines.h"
#include "serial/Exchange.h"

namespace {

ULONGLONG g_nowMilliseconds = 0;
ULONGLONG WINAPI ScriptedClock() { return g_nowMilliseconds; }

class ScriptedExchange : public ::testing::Test {
protected:
    void SetUp() override {
        g_nowMilliseconds = 5400;
        shared.Sink().Set(&sink);
        target.devicePath = L"\\\\.\\COM3";
        target.waitSeconds = 2;
    }

    // Every wait reports a character at once, and count bytes are queued
    // until a read takes them.
    void DataArrives(DWORD count = 1) {
        queued = count;
        api.bytesQueued = [this] { return queued; };
        api.readFile = [this](void*, DWORD size, DWORD* read, OVERLAPPED*) {
            *read = queued < size ? queued : size;
            queued -= *read;
            return TRUE;
        };
        api.waitCommEvent = [](DWORD* events, OVERLAPPED*) {
            *events = EV_RXCHAR;
            return TRUE;
        };
    }
    void ReadsReturn(DWORD count) {
        api.readFile = [count](void*, DWORD size, DWORD* read, OVERLAPPED*) {
            *read = count < size ? count : size;
            return TRUE;
        };
    }

    // An exchange on a copy of the model's table in which the test scripted
    // a call the model's scripts do not reach.
    class COnOwnTable {
    public:
        COnOwnTable(const Serial::SerialApi& table, Serial::CExchangeShared& shared)
            : api(table), port(api, shared, &ScriptedClock), exchange(port, shared) {}
        Serial::SerialApi api;
        Serial::CWorkerPort port;
        Serial::CExchange exchange;
    };

    DWORD queued = 0;
    CModelDriver api;
    Serial::CExchangeShared shared;
    Serial::CWorkerPort worker{api.Table(), shared, &ScriptedClock};
    CRecordingSink sink;
    Serial::CExchange exchange{worker, shared};
    Serial::Exchange::Target target;
};

TEST_F(ScriptedExchange, BeginConfiguresThePortAndReportsTheStart) {
    target.line.BaudRate = 4800;
    ASSERT_TRUE(exchange.Begin(target));
    EXPECT_EQ(api.OpenedPaths(), std::vector<std::wstring>{L"\\\\.\\COM3"}) << "one open: a Bluetooth port connects in each";
    EXPECT_EQ(api.Line().DCBlength, 28u);
    EXPECT_EQ(api.Line().BaudRate, 4800u);
    EXPECT_EQ(api.queueSizes[0], 1048576u);
    EXPECT_EQ(api.queueSizes[1], 1048576u);
    EXPECT_EQ(api.timeouts.ReadIntervalTimeout, MAXDWORD);
    EXPECT_EQ(api.timeouts.ReadTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(api.timeouts.ReadTotalTimeoutConstant, 0u);
    EXPECT_EQ(api.timeouts.WriteTotalTimeoutMultiplier, 500u);
    EXPECT_EQ(api.timeouts.WriteTotalTimeoutConstant, 1u);
    EXPECT_EQ(sink.Codes(), std::vector<int32_t>{EventStarted});
    EXPECT_TRUE(exchange.Listening());
}

// A file or a pipe opens like a port; the host's transfers would go into it.
TEST_F(ScriptedExchange, ANameThatOpensSomethingElseThanASerialPortIsNotOpened) {
    api.quirks.notSerial = true;
    EXPECT_FALSE(exchange.Begin(target));
    EXPECT_EQ(api.OpenedPaths().size(), 1u);
    EXPECT_EQ(api.OpenHandles(), 0);
    EXPECT_TRUE(sink.Codes().empty());
}

TEST_F(ScriptedExchange, ADeviceThatStopsAnsweringEndsTheListeningWithoutEvents) {
    ASSERT_TRUE(exchange.Begin(target));
    DataArrives();
    api.Unplug(ERROR_NOT_READY);
    exchange.ReceiveTurn();
    EXPECT_FALSE(exchange.Listening());
    EXPECT_EQ(sink.Codes(), std::vector<int32_t>{EventStarted});
    EXPECT_EQ(api.Unreaped(), 0u);
}

// Pulled out during the wait: the wait ends as if a character came.
TEST_F(ScriptedExchange, ADevicePulledOutDuringTheWaitIsNotReadAsData) {
    ASSERT_TRUE(exchange.Begin(target));
    api.waitCommEvent = [&](DWORD* events, OVERLAPPED*) {
        *events = EV_RXCHAR;
        api.Unplug(ERROR_NOT_READY);
        return TRUE;
    };
    exchange.ReceiveTurn();
    EXPECT_FALSE(exchange.Listening());
    EXPECT_EQ(sink.Codes(), std::vector<int32_t>{EventStarted});
}

TEST_F(ScriptedExchange, PendingReadIsEndedAndReportsWhatArrived) {
    ASSERT_TRUE(exchange.Begin(target));
    DataArrives(5);
    api.readFile = [&](void*, DWORD, DWORD*, OVERLAPPED* record) {
        queued = 0;
        return api.Pend(record);
    };
    api.quirks.bytesBeforeCancel = 5;
    exchange.ReceiveTurn();
    EXPECT_EQ(api.Unreaped(), 0u);
    auto events = sink.Events();
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[1].code, EventDataReceived);
    EXPECT_EQ(events[1].data.size(), 5u);
    EXPECT_EQ(events[2].code, EventLogText);
    EXPECT_EQ(events[2].data.size(), 5u);
}

TEST_F(ScriptedExchange, StopEndsAContinuousStreamBetweenBlocks) {
    ASSERT_TRUE(exchange.Begin(target));
    DataArrives();
    ReadsReturn(Serial::Exchange::kBlockSize);
    api.bytesQueued = [] { return Serial::Exchange::kBlockSize; };
    sink.react = [&](const RecordedEvent& event) {
        if (event.code == EventDataReceived && sink.Count(EventDataReceived) == 3) shared.Stop();
    };
    exchange.ReceiveTurn();
    EXPECT_EQ(sink.Count(EventDataReceived), 3u);
    EXPECT_EQ(sink.Count(EventLogText), 3u);
    EXPECT_FALSE(exchange.Listening());
}

TEST_F(ScriptedExchange, BytesQueuedBeforeTheWaitAreReadWithoutACharacterEvent) {
    ASSERT_TRUE(exchange.Begin(target));
    DWORD queued = 10;
    api.bytesQueued = [&] { return queued; };
    api.readFile = [&](void*, DWORD, DWORD* read, OVERLAPPED*) {
        *read = queued;
        queued = 0;
        return TRUE;
    };
    exchange.ReceiveTurn();
    EXPECT_EQ(sink.Received().size(), 10u);
}

// A driver that refuses the character mask cannot be listened to: no wait
// is started on it, and the exchange reads by polling.
TEST_F(ScriptedExchange, ADriverThatRefusesTheCharacterMaskIsPolled) {
    Serial::SerialApi refusing = api.Table();
    refusing.setCommMask = [](HANDLE, DWORD) -> BOOL {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    };
    COnOwnTable own{refusing, shared};
    Serial::CExchange& polled = own.exchange;
    ASSERT_TRUE(polled.Begin(target));
    int waits = 0;
    const auto counted = [&](DWORD*, OVERLAPPED*) { return ++waits, TRUE; };
    api.waitCommEvent = counted;
    for (int turn = 0; turn < 2; ++turn) polled.ReceiveTurn();
    DataArrives(4);
    api.waitCommEvent = counted;
    polled.ReceiveTurn();
    EXPECT_EQ(waits, 0);
    EXPECT_EQ(sink.Received().size(), 4u);
    EXPECT_TRUE(polled.Listening());
}

// The worker measures every time with the exchange's clock: an open
// refused as busy is given up after 2 s of it, however little real time
// went by.
TEST_F(ScriptedExchange, BusyRetriesAreTimedByTheExchangeClock) {
    // Seen by a lambda that captures nothing; each run counts from none.
    static int opens;
    opens = 0;
    Serial::SerialApi busy = api.Table();
    busy.createFile = [](LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) -> HANDLE {
        ++opens;
        g_nowMilliseconds += 700;
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    };
    EXPECT_FALSE((COnOwnTable{busy, shared}.exchange.Begin(target)));
    EXPECT_EQ(opens, 3) << "given up once 2100 ms of the clock had gone";
}

// A driver that refuses the line record without saying why still refused
// it: the exchange runs at the driver's own settings, and the trace says so.
TEST_F(ScriptedExchange, ARecordRefusedWithoutAnErrorIsSaidRefused) {
    CTraceLines trace;
    Serial::SerialApi silent = api.Table();
    silent.setCommState = [](HANDLE, LPDCB) -> BOOL {
        SetLastError(ERROR_SUCCESS);
        return FALSE;
    };
    ASSERT_TRUE((COnOwnTable{silent, shared}.exchange.Begin(target)));
    EXPECT_EQ(trace.With(L"and keeps its own settings").size(), 1u);
}

// Bytes no sink takes (the host withdrew it for a while) are still data
// for the idle time: a streaming instrument's exchange goes on.
TEST_F(ScriptedExchange, BlocksNoSinkTakesStillKeepTheExchangeFromIdling) {
    ASSERT_TRUE(exchange.Begin(target));
    DataArrives(10);
    exchange.ReceiveTurn();
    shared.Sink().Set(nullptr);
    for (int second = 0; second < 5; ++second) {
        g_nowMilliseconds += 1000;
        DataArrives(10);
        exchange.ReceiveTurn();
    }
    EXPECT_FALSE(exchange.IdleTimeUp());
}

TEST_F(ScriptedExchange, QuietTurnReportsNothing) {
    ASSERT_TRUE(exchange.Begin(target));
    exchange.ReceiveTurn();
    EXPECT_EQ(sink.Codes(), std::vector<int32_t>{EventStarted});
    exchange.End(false);
    EXPECT_EQ(api.Unreaped(), 0u);
}

// The wait a quiet turn left pending completes on bytes that the next turn
// reads without it; the turn after must not take that old completion for a
// driver that reports arrivals without data, and wait out its time.
TEST_F(ScriptedExchange, AnOldCompletionDoesNotDelayTheNextArrival) {
    ASSERT_TRUE(exchange.Begin(target));
    std::vector<OVERLAPPED*> waits;
    api.waitCommEvent = [&](DWORD* events, OVERLAPPED* record) {
        waits.push_back(record);
        return api.Pend(record, events);
    };
    exchange.ReceiveTurn();
    ASSERT_EQ(waits.size(), 1u);
    DataArrives(5);
    api.waitCommEvent = [&](DWORD* events, OVERLAPPED* record) {
        waits.push_back(record);
        BOOL result = api.Pend(record, events);
        queued = 3;
        api.Complete(record, 0, ERROR_SUCCESS, EV_RXCHAR);
        return result;
    };
    api.Complete(waits[0], 0, ERROR_SUCCESS, EV_RXCHAR);
    exchange.ReceiveTurn();
    ASSERT_EQ(sink.Received().size(), 5u);

    const ULONGLONG start = GetTickCount64();
    exchange.ReceiveTurn();
    EXPECT_EQ(sink.Received().size(), 8u);
    EXPECT_LT(GetTickCount64() - start, 50u) << "waited out the turn";
    EXPECT_EQ(waits.size(), 2u);
}

// Whole seconds of a clock that only moves forward; the exchange ends when
// more than the wait time separates the readings, equal is not enough.
TEST_F(ScriptedExchange, IdleTimeCountsWholeSecondsSinceTheLastBlock) {
    ASSERT_TRUE(exchange.Begin(target));
    g_nowMilliseconds = 3'600'000;
    EXPECT_FALSE(exchange.IdleTimeUp()) << "no limit before the first data";

    struct Case {
        ULONGLONG now;
        int32_t waitTime;
        bool timeUp;
    } cases[] = {
        {7'999, 2, false}, {8'000, 2, true}, {5'900, 0, false}, {6'000, 0, true},
        {8'000, 10, false}, {16'000, 10, true}, {5'900, -1, true},
    };
    for (const Case& c : cases) {
        target.waitSeconds = c.waitTime;
        g_nowMilliseconds = 5'900;
        ASSERT_TRUE(exchange.Begin(target));
        DataArrives(1);
        exchange.ReceiveTurn();
        g_nowMilliseconds = c.now;
        EXPECT_EQ(exchange.IdleTimeUp(), c.timeUp) << "now " << c.now << " ms, wait time " << c.waitTime;
        exchange.End(false);
    }
}

}  // namespace
