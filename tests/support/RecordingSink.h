#pragma once
#include <windows.h>
#include <cstdint>
#include <functional>
#include <map>
#include <vector>
#include "plugin_api/HostInterfaces.h"

// Marks an OnRequestDone call in the record; no event has this code.
constexpr int32_t RequestDone = 0;

struct RecordedEvent {
    int32_t code;
    std::vector<uint8_t> data;
    ULONGLONG tick;
    ITransferRequest* request = nullptr;
};

// The host's sink as tests see it: counts of every event code and of the
// exchanges ended, the received and sent streams' lengths and checksums, and
// (unless it keeps counts only, as a long run must) a copy of every event,
// for tests to wait on from their own thread. Its lock holds no kernel
// handle, so it does not disturb a count of them.
class CRecordingSink : public IDeviceEventSink {
public:
    enum class Keep { Events, CountsOnly };
    explicit CRecordingSink(Keep keep = Keep::Events) : m_keepEvents(keep == Keep::Events) {}

    // Runs on the caller's (worker's) thread after the event or the request
    // handed back (code RequestDone) is recorded, with no lock held.
    std::function<void(const RecordedEvent&)> react;

    void OnEvent(int32_t code, const void* data, uint32_t count) override;
    void OnRequestDone(ITransferRequest* request) override;

    size_t Count(int32_t code) const;
    // Exchanges ended: EventStopped or the port-opening text.
    size_t Ends() const;
    size_t OpeningErrors() const;
    size_t EmptyBlocks() const;
    uint64_t ReceivedBytes() const;
    uint64_t ReceivedChecksum() const;
    uint64_t SentBytes() const;
    uint64_t SentChecksum() const;

    // Waits end once what they wait for is recorded and no reaction runs, so
    // a test that ends on an event never frees what a reaction still uses.
    // True when at least `times` events of `code` arrived within the time.
    bool WaitFor(int32_t code, DWORD milliseconds, size_t times = 1) const;
    bool WaitForEnds(size_t ends, DWORD milliseconds) const;
    bool WaitForReceived(uint64_t bytes, DWORD milliseconds) const;

    // The copies kept (none when counting only).
    std::vector<RecordedEvent> Events() const;
    std::vector<int32_t> Codes() const;
    // Bytes of every EventDataReceived, in order.
    std::vector<uint8_t> Received() const;
    // Bytes of every EventDataSent, in order, and their counts.
    std::vector<uint8_t> Sent() const;
    std::vector<size_t> SentCounts() const;
    void Clear();

private:
    class Hold;
    void Record(const RecordedEvent& event);
    size_t CountHeld(int32_t code) const;
    template <typename Done>
    bool WaitUntil(DWORD milliseconds, Done done) const;
    std::vector<uint8_t> Stream(int32_t code) const;

    const bool m_keepEvents;
    mutable SRWLOCK m_lock = SRWLOCK_INIT;
    mutable CONDITION_VARIABLE m_changed = CONDITION_VARIABLE_INIT;
    std::vector<RecordedEvent> m_events;
    size_t m_reactionsUnderWay = 0;
    std::map<int32_t, size_t> m_counts;
    size_t m_openingErrors = 0;
    size_t m_emptyBlocks = 0;
    uint64_t m_receivedBytes = 0;
    uint64_t m_receivedChecksum = 0;
    uint64_t m_sentBytes = 0;
    uint64_t m_sentChecksum = 0;
};

// An order-sensitive checksum of a byte stream, fed in pieces.
uint64_t StreamChecksum(uint64_t checksum, const uint8_t* bytes, size_t count);
