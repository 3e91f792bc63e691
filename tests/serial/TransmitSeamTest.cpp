// Sending requests against a scripted driver: slow, held and failing lines
// that Wine cannot produce, with wait steps of 1 ms instead of 500.
#include <gtest/gtest.h>
#include <thread>
#include "FakeRequest.h"
#include "RecordingSink.h"
#include "ModelDriver.h"
#include "TraceLines.h"
#include "serial/Transmit.h"

namespace {

constexpr DWORD kStep = 1;

DCB LineAt(DWORD baud) {
    DCB line{};
    line.BaudRate = baud;
    line.ByteSize = 8;
    return line;
}

// So fast that a write's line time is nothing next to the wait steps.
DCB FastLine() { return LineAt(4'000'000'000u); }

// A write as the driver was given it: its bytes, copied at the call.
struct Write {
    std::vector<uint8_t> bytes;
    DWORD size;
};

class ScriptedTransmit : public ::testing::Test {
protected:
    void SetUp() override {
        shared.Sink().Set(&sink);
        ASSERT_TRUE(worker.Open(L"\\\\.\\COM3", FastLine()).Completed());
        api.quirks.bytesBeforeCancel = 4096;
        WritesComplete();
    }

    // Queues the request and sends it.
    void Transmit(Serial::CTransmitter& by) {
        queue.Append(&request);
        by.DrainQueue();
    }

    // Every write completes at once with all its bytes.
    void WritesComplete() {
        api.writeFile = [this](const void* data, DWORD size, DWORD* written, OVERLAPPED*) {
            Note(data, size);
            *written = size;
            return TRUE;
        };
    }

    // The first write stays pending while the output queue reports the
    // baseline, then each step's count; after the last count it completes.
    void FirstWriteWaitsThrough(DWORD baseline, std::vector<DWORD> counts) {
        api.writeFile = [this](const void* data, DWORD size, DWORD* written, OVERLAPPED* record) {
            Note(data, size);
            if (writes.size() > 1) {
                *written = size;
                return TRUE;
            }
            pendingRecord = record;
            pendingSize = size;
            return api.Pend(record);
        };
        api.bytesUnsent = [this, baseline, counts] {
            if (writes.size() != 1) return DWORD{0};
            size_t call = unsentCalls++;
            if (call == 0) return baseline;
            if (call <= counts.size()) return counts[call - 1];
            if (call == counts.size() + 1) api.Complete(pendingRecord, pendingSize);
            return DWORD{0};
        };
    }

    void Note(const void* data, DWORD size) {
        const auto* bytes = static_cast<const uint8_t*>(data);
        writes.push_back({std::vector<uint8_t>(bytes, bytes + size), size});
    }

    void ExpectDoneOnceAtTheEnd(ITransferRequest* done) {
        auto events = sink.Events();
        ASSERT_FALSE(events.empty());
        EXPECT_EQ(events.back().code, RequestDone);
        EXPECT_EQ(events.back().request, done);
        EXPECT_EQ(sink.Count(RequestDone), 1u);
        EXPECT_EQ(api.Unreaped(), 0u);
    }

    CModelDriver api;
    Serial::CExchangeShared shared;
    Serial::CWorkerPort worker{api.Table(), shared, &GetTickCount64, kStep};
    CRecordingSink sink;
    Serial::CRequestQueue& queue = shared.Requests();
    Serial::CTransmitter transmitter{worker, shared};

    CFakeRequest request{RequestBytes(Serial::Transmit::kChunkSize + 100)};
    std::vector<Write> writes;
    OVERLAPPED* pendingRecord = nullptr;
    DWORD pendingSize = 0;
    size_t unsentCalls = 0;
};

TEST_F(ScriptedTransmit, RequestIsWrittenInChunksOfAtMost64KiB) {
    struct Case {
        int32_t size;
        std::vector<size_t> chunks;
    } cases[] = {
        {150000, {65536, 65536, 18928}}, {65536, {65536}}, {65537, {65536, 1}}, {1, {1}}, {0, {}}, {-5, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        sink.Clear();
        request.bytes = RequestBytes(c.size > 0 ? c.size : 10);
        request.size = c.size;
        Transmit(transmitter);
        EXPECT_EQ(sink.SentCounts(), c.chunks);
        if (c.size > 0) {
            EXPECT_EQ(sink.Sent(), request.bytes);
        }
        ExpectDoneOnceAtTheEnd(&request);
    }
}

TEST_F(ScriptedTransmit, RequestWithoutDataWritesNothingAndIsDone) {
    request.bytes.clear();
    request.size = 10;
    Transmit(transmitter);
    EXPECT_TRUE(writes.empty());
    EXPECT_EQ(sink.Codes(), std::vector<int32_t>{RequestDone});
}

// After each step without completion the output queue's count is read: a
// lower count than the step before is progress; six steps in a row without
// it give the chunk up.
TEST_F(ScriptedTransmit, PendingWriteIsGivenUpOnlyAfterSixStepsWithoutProgress) {
    std::vector<DWORD> draining;
    for (DWORD left = 60000; left >= 5000; left -= 5000) draining.push_back(left);
    struct Case {
        const char* line;
        DWORD baseline;
        std::vector<DWORD> counts;
        bool givenUp;
        size_t steps;
    } cases[] = {
        {"slow line draining every step", 65536, draining, false, 0},
        {"stalls shorter than the limit", 65536, {65536, 65536, 65536, 65536, 65536, 60000, 60000, 60000,
                                                  60000, 60000, 50000}, false, 0},
        {"held line", 65536, std::vector<DWORD>(10, 65536), true, 6},
        {"count going up", 100, {200, 300, 400, 500, 600, 700, 800}, true, 6},
        {"held after moving once", 65536, {60000, 60000, 60000, 60000, 60000, 60000, 60000, 60000}, true, 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        sink.Clear();
        writes.clear();
        unsentCalls = 0;
        api.cancelThread = 0;
        FirstWriteWaitsThrough(c.baseline, c.counts);
        Transmit(transmitter);
        if (c.givenUp) {
            EXPECT_EQ(unsentCalls - 1, c.steps);
            EXPECT_EQ(writes.size(), 1u) << "the request ends with its given-up chunk";
            EXPECT_EQ(sink.SentCounts(), std::vector<size_t>{api.quirks.bytesBeforeCancel}) << "what went out is reported";
            EXPECT_EQ(api.cancelThread, api.writeThread);
        } else {
            EXPECT_EQ(writes.size(), 2u);
            EXPECT_EQ(sink.Sent(), request.bytes);
        }
        ExpectDoneOnceAtTheEnd(&request);
    }
}

// Drivers that never count a pending write in the output queue (it reads 0
// throughout): the write gets its line time at the configured speed plus
// the six steps, so a slow line is not cut off and a held one still ends.
TEST_F(ScriptedTransmit, WriteTheDriverDoesNotCountGetsItsLineTime) {
    struct Case {
        const char* line;
        DWORD baud;
        size_t zeroesBeforeCompletion;
        bool givenUp;
        ULONGLONG atLeastMilliseconds;
    } cases[] = {
        {"9600 baud, moving", 9600, 200, false, 0},
        {"921600 baud, held", 921600, 1'000'000, true, 700},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        sink.Clear();
        writes.clear();
        unsentCalls = 0;
        ASSERT_TRUE(worker.Open(L"\\\\.\\COM3", LineAt(c.baud)).Completed());
        FirstWriteWaitsThrough(0, std::vector<DWORD>(c.zeroesBeforeCompletion, 0));
        const ULONGLONG start = GetTickCount64();
        Transmit(transmitter);
        EXPECT_GE(GetTickCount64() - start, c.atLeastMilliseconds);
        EXPECT_EQ(writes.size(), c.givenUp ? 1u : 2u);
        ExpectDoneOnceAtTheEnd(&request);
    }
}

TEST_F(ScriptedTransmit, GivenUpChunkThatCompletedBeforeTheCancelCountsAsSent) {
    FirstWriteWaitsThrough(65536, std::vector<DWORD>(5, 65536));
    Transmit(transmitter);
    EXPECT_EQ(writes.size(), 2u);
    EXPECT_EQ(sink.Sent(), request.bytes);
    ExpectDoneOnceAtTheEnd(&request);
}

TEST_F(ScriptedTransmit, ShortWritesGoOnRightAfterTheBytesThatWentOut) {
    request.bytes = RequestBytes(150000);
    request.size = 150000;
    api.writeFile = [this](const void* data, DWORD size, DWORD* written, OVERLAPPED* record) {
        Note(data, size);
        if (writes.size() == 1) {
            *written = 30000;
            return TRUE;
        }
        if (writes.size() == 2) {
            BOOL result = api.Pend(record);
            api.Complete(record, 20000);
            return result;
        }
        *written = size;
        return TRUE;
    };
    Transmit(transmitter);
    const size_t offsets[] = {0, 30000, 50000, 115536};
    ASSERT_EQ(writes.size(), 4u);
    for (size_t write = 0; write < 4; ++write) {
        const auto from = request.bytes.begin() + static_cast<std::ptrdiff_t>(offsets[write]);
        EXPECT_EQ(writes[write].bytes, std::vector<uint8_t>(from, from + writes[write].size)) << "write " << write;
    }
    EXPECT_EQ(writes.back().size, 34464u);
    EXPECT_EQ(sink.SentCounts(), (std::vector<size_t>{30000, 20000, 65536, 34464}));
    EXPECT_EQ(sink.Sent(), request.bytes);
    ExpectDoneOnceAtTheEnd(&request);
}

// A write that moves nothing ends its request; when the device no longer
// answers either, the exchange ends too.
TEST_F(ScriptedTransmit, WriteThatMovesNothingEndsTheRequest) {
    struct Case {
        const char* write;
        std::function<BOOL(OVERLAPPED*, DWORD*)> outcome;
        bool deviceGone;
    } cases[] = {
        {"fails at once, device gone",
         [](OVERLAPPED*, DWORD*) {
             SetLastError(ERROR_ACCESS_DENIED);
             return FALSE;
         },
         true},
        {"fails at once, bad argument",
         [](OVERLAPPED*, DWORD*) {
             SetLastError(ERROR_INVALID_PARAMETER);
             return FALSE;
         },
         false},
        {"completes at once with nothing",
         [](OVERLAPPED*, DWORD* written) {
             *written = 0;
             return TRUE;
         },
         false},
        {"completes later with nothing, device gone",
         [this](OVERLAPPED* record, DWORD*) {
             BOOL result = api.Pend(record);
             api.Complete(record, 0, ERROR_DEVICE_REMOVED);
             return result;
         },
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.write);
        sink.Clear();
        writes.clear();
        api.PlugBackIn();
        ASSERT_TRUE(worker.Open(L"\\\\.\\COM3", FastLine()).Completed());
        if (c.deviceGone) api.Unplug(ERROR_NOT_READY);
        api.writeFile = [this, &c](const void* data, DWORD size, DWORD* written, OVERLAPPED* record) {
            Note(data, size);
            return c.outcome(record, written);
        };
        Transmit(transmitter);
        EXPECT_EQ(writes.size(), 1u);
        EXPECT_EQ(sink.Codes(), std::vector<int32_t>{RequestDone});
        EXPECT_EQ(api.Unreaped(), 0u);
        EXPECT_EQ(worker.Gone(), c.deviceGone);
    }
}

TEST_F(ScriptedTransmit, StopDuringAPendingWriteEndsThatRequestAndKeepsTheRestQueued) {
    CFakeRequest second{RequestBytes(10, 7)};
    queue.Append(&request);
    queue.Append(&second);
    FirstWriteWaitsThrough(65536, std::vector<DWORD>(100, 65536));
    api.bytesUnsent = [this] {
        if (++unsentCalls == 3) shared.Stop();
        return DWORD{65536};
    };
    transmitter.DrainQueue();
    EXPECT_EQ(writes.size(), 1u);
    EXPECT_EQ(api.cancelThread, api.writeThread);
    EXPECT_EQ(sink.SentCounts(), std::vector<size_t>{api.quirks.bytesBeforeCancel});
    ExpectDoneOnceAtTheEnd(&request);
    EXPECT_EQ(queue.Head(), &second);
    EXPECT_EQ(second.calls, 0) << "a request still queued is not touched";

    shared.ClearStop();
    WritesComplete();
    transmitter.DrainQueue();
    EXPECT_EQ(sink.Events().back().request, &second);
    EXPECT_EQ(queue.Head(), nullptr);
}

// Out of the queue a request is sent and handed back; so one that a stop
// meets while its getters run stays queued, whole. Once the last Release
// has begun, inside a getter too, no further getter is asked.
TEST_F(ScriptedTransmit, StopDuringTheGettersLeavesTheRequestQueued) {
    queue.Append(&request);
    request.whenAsked = [this] { shared.Stop(); };
    transmitter.DrainQueue();
    EXPECT_TRUE(writes.empty());
    EXPECT_EQ(queue.Head(), &request);
    EXPECT_TRUE(sink.Events().empty()) << "not handed back";
    shared.ClearStop();
    request.whenAsked = [this] { shared.Sink().Close(); };
    transmitter.DrainQueue();
    EXPECT_EQ(request.calls, 4);
}

// A stop must not wait out a 500 ms step of a write that the line holds.
TEST_F(ScriptedTransmit, StopEndsAHeldWriteAtOnce) {
    Serial::CWorkerPort patientPort{api.Table(), shared, &GetTickCount64};
    ASSERT_TRUE(patientPort.Open(L"\\\\.\\COM3", FastLine()).Completed());
    Serial::CTransmitter patient{patientPort, shared};
    FirstWriteWaitsThrough(65536, std::vector<DWORD>(100, 65536));
    std::thread stopper([this] {
        Sleep(50);
        shared.Stop();
    });
    const ULONGLONG start = GetTickCount64();
    Transmit(patient);
    const ULONGLONG took = GetTickCount64() - start;
    stopper.join();
    EXPECT_LT(took, 250u);
    ExpectDoneOnceAtTheEnd(&request);
}

// Some drivers leave a held write pending through its cancel: its output
// is purged 100 ms after the cancel, and the stop is not kept waiting for
// ever. One that outlives the purge too is still waited for, as the driver
// writes from the port's buffer until it lets go; only then is the request
// handed back.
TEST_F(ScriptedTransmit, WriteTheDriverDoesNotCancelIsPurged) {
    struct Case {
        const char* driver;
        bool purgeEndsWrites;
        size_t waitLines;
    } cases[] = {{"ends it at the purge", true, 0}, {"holds it past the purge", false, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.driver);
        CTraceLines trace;
        sink.Clear();
        writes.clear();
        unsentCalls = 0;
        shared.ClearStop();
        api.quirks.ignoresWriteCancel = true;
        api.quirks.purgeIgnoresWrites = !c.purgeEndsWrites;
        api.outputPurges = 0;
        api.whenWaitedFor = [this](OVERLAPPED* record) {
            api.Complete(record, api.quirks.bytesBeforeCancel, ERROR_OPERATION_ABORTED);
        };
        FirstWriteWaitsThrough(65536, std::vector<DWORD>(100, 65536));
        api.bytesUnsent = [this] {
            if (++unsentCalls == 3) shared.Stop();
            return DWORD{65536};
        };
        size_t pendingAtDone = 0;
        sink.react = [&](const RecordedEvent& event) {
            if (event.code == RequestDone) pendingAtDone = api.Unreaped();
        };
        Transmit(transmitter);
        EXPECT_EQ(api.outputPurges, 1);
        EXPECT_LT(api.purgedAt - api.writeCancelledAt, 500u) << "the purge comes 100 ms after the cancel";
        EXPECT_EQ(pendingAtDone, 0u) << "handed back while the driver still held its write";
        EXPECT_EQ(trace.With(L"its output was purged").size(), 1u);
        EXPECT_EQ(trace.With(L"waiting for the driver").size(), c.waitLines);
        EXPECT_EQ(sink.SentCounts(), std::vector<size_t>{api.quirks.bytesBeforeCancel});
        ExpectDoneOnceAtTheEnd(&request);
    }
}

// Once the host has let go, the bytes are nobody's: a write the driver does
// not cancel is purged at once, and nothing reaches the host.
TEST_F(ScriptedTransmit, AfterTheLastReleaseAWriteTheDriverDoesNotCancelIsPurgedAtOnce) {
    api.quirks.ignoresWriteCancel = true;
    FirstWriteWaitsThrough(65536, std::vector<DWORD>(100, 65536));
    api.bytesUnsent = [this] {
        if (++unsentCalls == 3) {
            shared.Sink().Close();
            shared.Stop();
        }
        return DWORD{65536};
    };
    Transmit(transmitter);
    EXPECT_EQ(api.outputPurges, 1);
    EXPECT_LT(api.purgedAt - api.writeCancelledAt, 50u);
    EXPECT_TRUE(sink.Events().empty());
    EXPECT_EQ(api.Unreaped(), 0u);
}

// With no sink to tell, a request being sent is not handed back: it is the
// host's again at the last Release.
TEST_F(ScriptedTransmit, SinkWithdrawnWhileARequestIsSentWithholdsItsDone) {
    CTraceLines trace;
    queue.Append(&request);
    api.writeFile = [this](const void* data, DWORD size, DWORD* written, OVERLAPPED*) {
        Note(data, size);
        shared.Sink().Set(nullptr);
        *written = size;
        return TRUE;
    };
    transmitter.DrainQueue();
    EXPECT_TRUE(sink.Events().empty());
    EXPECT_EQ(queue.Head(), nullptr);
    EXPECT_EQ(trace.With(L"while no event sink was set").size(), 1u) << "the trace says where it went";
}

// A request that answers another kind than when it was queued is not sent,
// but handed back, so a host waiting for it is told; the next one goes.
TEST_F(ScriptedTransmit, RequestWhoseKindChangedIsHandedBackUnsent) {
    CTraceLines trace;
    CFakeRequest second{RequestBytes(10, 3)};
    queue.Append(&request);
    queue.Append(&second);
    request.kind = 7;
    transmitter.DrainQueue();
    std::vector<std::pair<int32_t, ITransferRequest*>> order;
    for (const auto& event : sink.Events()) order.emplace_back(event.code, event.request);
    EXPECT_EQ(order, (std::vector<std::pair<int32_t, ITransferRequest*>>{
                         {RequestDone, &request}, {EventDataSent, nullptr}, {RequestDone, &second}}));
    EXPECT_EQ(sink.Sent(), second.bytes);
    EXPECT_EQ(trace.With(L"changed its kind to 7").size(), 1u);
}

// Requests go strictly in queue order, one after the other's end; those
// queued while the drain runs go in the same drain; those met once the stop
// flag is set, or with no sink to report to, wait for a later drain.
TEST_F(ScriptedTransmit, DrainSendsInQueueOrderAndLeavesWhatItCannotReport) {
    CFakeRequest second{RequestBytes(70000, 1)};
    CFakeRequest late{RequestBytes(5, 2)};
    queue.Append(&request);
    queue.Append(&second);

    shared.Stop();
    transmitter.DrainQueue();
    shared.ClearStop();
    shared.Sink().Set(nullptr);
    transmitter.DrainQueue();
    EXPECT_TRUE(writes.empty());
    EXPECT_EQ(queue.Head(), &request);
    EXPECT_EQ(request.calls, 0);

    shared.Sink().Set(&sink);
    sink.react = [&](const RecordedEvent& event) {
        if (event.request == &request) queue.Append(&late);
    };
    transmitter.DrainQueue();
    std::vector<std::pair<int32_t, ITransferRequest*>> order;
    for (const auto& event : sink.Events()) order.emplace_back(event.code, event.request);
    EXPECT_EQ(order, (std::vector<std::pair<int32_t, ITransferRequest*>>{
                         {EventDataSent, nullptr}, {EventDataSent, nullptr}, {RequestDone, &request},
                         {EventDataSent, nullptr}, {EventDataSent, nullptr}, {RequestDone, &second},
                         {EventDataSent, nullptr}, {RequestDone, &late}}));
    auto all = request.bytes;
    all.insert(all.end(), second.bytes.begin(), second.bytes.end());
    all.insert(all.end(), late.bytes.begin(), late.bytes.end());
    EXPECT_EQ(sink.Sent(), all);
    EXPECT_EQ(queue.Head(), nullptr);
}

}  // namespace
