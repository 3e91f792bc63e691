#include "CountingSink.h"
#include <cstring>
#include "serial/Exchange.h"

uint64_t StreamChecksum(uint64_t checksum, const uint8_t* bytes, size_t count) {
    // FNV-1a, continued across pieces: a lost, doubled or swapped byte changes it.
    if (checksum == 0) checksum = 14695981039346656037ull;
    for (size_t i = 0; i < count; ++i) checksum = (checksum ^ bytes[i]) * 1099511628211ull;
    return checksum;
}

class CountingSink::Hold {
public:
    explicit Hold(SRWLOCK& lock) : m_lock(lock) { AcquireSRWLockExclusive(&m_lock); }
    ~Hold() { ReleaseSRWLockExclusive(&m_lock); }

private:
    SRWLOCK& m_lock;
};

void CountingSink::OnEvent(int32_t code, const void* data, uint32_t count) {
    {
        Hold hold(m_lock);
        ++m_counts[code];
        if (code == EventLogText && count == Exchange::kOpenErrorLength &&
            std::memcmp(data, Exchange::kOpenErrorText, count) == 0) {
            ++m_openingErrors;
        }
        if (code == EventDataReceived) {
            m_emptyBlocks += count == 0;
            m_receivedBytes += count;
            m_checksum = StreamChecksum(m_checksum, static_cast<const uint8_t*>(data), count);
        }
        if (code == EventDataSent) {
            m_sentBytes += count;
            m_sentChecksum = StreamChecksum(m_sentChecksum, static_cast<const uint8_t*>(data), count);
        }
    }
    WakeAllConditionVariable(&m_changed);
    if (react) react(code, count);
}

void CountingSink::OnRequestDone(ITransferRequest* request) {
    if (requestDone) requestDone(request);
}

uint64_t CountingSink::SentBytes() const {
    Hold hold(m_lock);
    return m_sentBytes;
}

uint64_t CountingSink::SentChecksum() const {
    Hold hold(m_lock);
    return m_sentChecksum;
}

size_t CountingSink::Count(int32_t code) const {
    Hold hold(m_lock);
    auto found = m_counts.find(code);
    return found == m_counts.end() ? 0 : found->second;
}

size_t CountingSink::Ends() const { return Count(EventStopped) + OpeningErrors(); }

size_t CountingSink::OpeningErrors() const {
    Hold hold(m_lock);
    return m_openingErrors;
}

size_t CountingSink::EmptyBlocks() const {
    Hold hold(m_lock);
    return m_emptyBlocks;
}

uint64_t CountingSink::ReceivedBytes() const {
    Hold hold(m_lock);
    return m_receivedBytes;
}

uint64_t CountingSink::ReceivedChecksum() const {
    Hold hold(m_lock);
    return m_checksum;
}

template <typename Done>
bool CountingSink::WaitUntil(DWORD milliseconds, Done done) const {
    const ULONGLONG deadline = GetTickCount64() + milliseconds;
    Hold hold(m_lock);
    while (!done()) {
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) return false;
        SleepConditionVariableSRW(&m_changed, &m_lock, static_cast<DWORD>(deadline - now), 0);
    }
    return true;
}

bool CountingSink::WaitForEnds(size_t ends, DWORD milliseconds) const {
    return WaitUntil(milliseconds, [&] {
        auto stopped = m_counts.find(EventStopped);
        return (stopped == m_counts.end() ? 0 : stopped->second) + m_openingErrors >= ends;
    });
}

bool CountingSink::WaitFor(int32_t code, size_t times, DWORD milliseconds) const {
    return WaitUntil(milliseconds, [&] {
        auto found = m_counts.find(code);
        return found != m_counts.end() && found->second >= times;
    });
}

bool CountingSink::WaitForReceived(uint64_t bytes, DWORD milliseconds) const {
    return WaitUntil(milliseconds, [&] { return m_receivedBytes >= bytes; });
}
