#include "RecordingSink.h"
#include <cstring>
#include "serial/Exchange.h"

uint64_t StreamChecksum(uint64_t checksum, const uint8_t* bytes, size_t count) {
    // FNV-1a, continued across pieces: a lost, doubled or swapped byte changes it.
    if (checksum == 0) checksum = 14695981039346656037ull;
    for (size_t i = 0; i < count; ++i) checksum = (checksum ^ bytes[i]) * 1099511628211ull;
    return checksum;
}

class CRecordingSink::Hold {
public:
    explicit Hold(SRWLOCK& lock) : m_lock(lock) { AcquireSRWLockExclusive(&m_lock); }
    ~Hold() { ReleaseSRWLockExclusive(&m_lock); }
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;

private:
    SRWLOCK& m_lock;
};

void CRecordingSink::OnEvent(int32_t code, const void* data, uint32_t count) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    Record({code, bytes ? std::vector<uint8_t>(bytes, bytes + count) : std::vector<uint8_t>(), GetTickCount64()});
}

void CRecordingSink::OnRequestDone(ITransferRequest* request) { Record({RequestDone, {}, GetTickCount64(), request}); }

void CRecordingSink::Record(const RecordedEvent& event) {
    {
        Hold hold(m_lock);
        ++m_counts[event.code];
        const uint8_t* bytes = event.data.data();
        const size_t count = event.data.size();
        if (event.code == EventLogText && count == Serial::Exchange::kOpenErrorLength &&
            std::memcmp(bytes, Serial::Exchange::kOpenErrorText, count) == 0) {
            ++m_openingErrors;
        }
        if (event.code == EventDataReceived) {
            m_emptyBlocks += count == 0;
            m_receivedBytes += count;
            m_receivedChecksum = StreamChecksum(m_receivedChecksum, bytes, count);
        }
        if (event.code == EventDataSent) {
            m_sentBytes += count;
            m_sentChecksum = StreamChecksum(m_sentChecksum, bytes, count);
        }
        if (m_keepEvents) m_events.push_back(event);
        if (react) ++m_reactionsUnderWay;
    }
    if (react) {
        react(event);
        Hold hold(m_lock);
        --m_reactionsUnderWay;
    }
    WakeAllConditionVariable(&m_changed);
}

size_t CRecordingSink::CountHeld(int32_t code) const {
    auto found = m_counts.find(code);
    return found == m_counts.end() ? 0 : found->second;
}

size_t CRecordingSink::Count(int32_t code) const {
    Hold hold(m_lock);
    return CountHeld(code);
}

size_t CRecordingSink::Ends() const {
    Hold hold(m_lock);
    return CountHeld(EventStopped) + m_openingErrors;
}

size_t CRecordingSink::OpeningErrors() const {
    Hold hold(m_lock);
    return m_openingErrors;
}

size_t CRecordingSink::EmptyBlocks() const {
    Hold hold(m_lock);
    return m_emptyBlocks;
}

uint64_t CRecordingSink::ReceivedBytes() const {
    Hold hold(m_lock);
    return m_receivedBytes;
}

uint64_t CRecordingSink::ReceivedChecksum() const {
    Hold hold(m_lock);
    return m_receivedChecksum;
}

uint64_t CRecordingSink::SentBytes() const {
    Hold hold(m_lock);
    return m_sentBytes;
}

uint64_t CRecordingSink::SentChecksum() const {
    Hold hold(m_lock);
    return m_sentChecksum;
}

template <typename Done>
bool CRecordingSink::WaitUntil(DWORD milliseconds, Done done) const {
    const ULONGLONG deadline = GetTickCount64() + milliseconds;
    Hold hold(m_lock);
    while (m_reactionsUnderWay != 0 || !done()) {
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) return false;
        SleepConditionVariableSRW(&m_changed, &m_lock, static_cast<DWORD>(deadline - now), 0);
    }
    return true;
}

bool CRecordingSink::WaitFor(int32_t code, DWORD milliseconds, size_t times) const {
    return WaitUntil(milliseconds, [&] { return CountHeld(code) >= times; });
}

bool CRecordingSink::WaitForEnds(size_t ends, DWORD milliseconds) const {
    return WaitUntil(milliseconds, [&] { return CountHeld(EventStopped) + m_openingErrors >= ends; });
}

bool CRecordingSink::WaitForReceived(uint64_t bytes, DWORD milliseconds) const {
    return WaitUntil(milliseconds, [&] { return m_receivedBytes >= bytes; });
}

std::vector<RecordedEvent> CRecordingSink::Events() const {
    Hold hold(m_lock);
    return m_events;
}

std::vector<int32_t> CRecordingSink::Codes() const {
    std::vector<int32_t> codes;
    for (const auto& event : Events()) codes.push_back(event.code);
    return codes;
}

std::vector<uint8_t> CRecordingSink::Stream(int32_t code) const {
    std::vector<uint8_t> stream;
    for (const auto& event : Events()) {
        if (event.code == code) stream.insert(stream.end(), event.data.begin(), event.data.end());
    }
    return stream;
}

std::vector<uint8_t> CRecordingSink::Received() const { return Stream(EventDataReceived); }
std::vector<uint8_t> CRecordingSink::Sent() const { return Stream(EventDataSent); }

std::vector<size_t> CRecordingSink::SentCounts() const {
    std::vector<size_t> counts;
    for (const auto& event : Events()) {
        if (event.code == EventDataSent) counts.push_back(event.data.size());
    }
    return counts;
}

void CRecordingSink::Clear() {
    Hold hold(m_lock);
    m_events.clear();
    m_counts.clear();
    m_openingErrors = 0;
    m_emptyBlocks = 0;
    m_receivedBytes = m_receivedChecksum = m_sentBytes = m_sentChecksum = 0;
}
