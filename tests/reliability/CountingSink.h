#pragma once
#include <windows.h>
#include <cstdint>
#include <functional>
#include <map>
#include "plugin_api/HostInterfaces.h"

// An event sink for long runs: it keeps counts and running checksums of the
// received and the sent stream instead of the events themselves. Its lock and condition
// hold no kernel handle, so it does not disturb a count of them.
class CountingSink : public IDeviceEventSink {
public:
    // Runs on the worker's thread after the event is counted, no lock held.
    std::function<void(int32_t code, uint32_t count)> react;
    // Runs on the worker's thread for every request handed back.
    std::function<void(ITransferRequest*)> requestDone;

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
    bool WaitForEnds(size_t ends, DWORD milliseconds) const;
    bool WaitFor(int32_t code, size_t times, DWORD milliseconds) const;
    bool WaitForReceived(uint64_t bytes, DWORD milliseconds) const;

private:
    template <typename Done>
    bool WaitUntil(DWORD milliseconds, Done done) const;

    class Hold;
    mutable SRWLOCK m_lock = SRWLOCK_INIT;
    mutable CONDITION_VARIABLE m_changed = CONDITION_VARIABLE_INIT;
    std::map<int32_t, size_t> m_counts;
    size_t m_openingErrors = 0;
    size_t m_emptyBlocks = 0;
    uint64_t m_receivedBytes = 0;
    uint64_t m_checksum = 0;
    uint64_t m_sentBytes = 0;
    uint64_t m_sentChecksum = 0;
};

// An order-sensitive checksum of a byte stream, fed in pieces.
uint64_t StreamChecksum(uint64_t checksum, const uint8_t* bytes, size_t count);
