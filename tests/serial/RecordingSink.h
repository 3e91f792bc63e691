#pragma once
#include <windows.h>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
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

// An event sink that keeps a copy of everything it is told, for tests to
// wait on from their own thread. React runs on the caller's (worker's)
// thread after the event is recorded, with no lock held.
class RecordingSink : public IDeviceEventSink {
public:
    std::function<void(const RecordedEvent&)> react;

    void OnEvent(int32_t code, const void* data, uint32_t count) override;
    void OnRequestDone(ITransferRequest* request) override;

    std::vector<RecordedEvent> Events() const;
    void Clear();
    std::vector<int32_t> Codes() const;
    size_t Count(int32_t code) const;
    // Bytes of every EventDataReceived, in order.
    std::vector<uint8_t> Received() const;
    // Bytes of every EventDataSent, in order, and their counts.
    std::vector<uint8_t> Sent() const;
    std::vector<size_t> SentCounts() const;
    // True when at least `times` events of `code` arrived within the time.
    bool WaitFor(int32_t code, DWORD milliseconds, size_t times = 1) const;
    bool WaitForReceived(size_t bytes, DWORD milliseconds) const;

private:
    void Record(const RecordedEvent& event);

    mutable std::mutex m_lock;
    mutable std::condition_variable m_changed;
    std::vector<RecordedEvent> m_events;
};
