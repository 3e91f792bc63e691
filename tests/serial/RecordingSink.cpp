#include "RecordingSink.h"
#include <chrono>

void RecordingSink::OnEvent(int32_t code, const void* data, uint32_t count) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    Record({code, bytes ? std::vector<uint8_t>(bytes, bytes + count) : std::vector<uint8_t>(), GetTickCount64()});
}

void RecordingSink::OnRequestDone(ITransferRequest* request) {
    Record({RequestDone, {}, GetTickCount64(), request});
}

void RecordingSink::Record(const RecordedEvent& event) {
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_events.push_back(event);
    }
    m_changed.notify_all();
    if (react) react(event);
}

std::vector<RecordedEvent> RecordingSink::Events() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_events;
}

void RecordingSink::Clear() {
    std::lock_guard<std::mutex> hold(m_lock);
    m_events.clear();
}

std::vector<int32_t> RecordingSink::Codes() const {
    std::vector<int32_t> codes;
    for (const auto& event : Events()) codes.push_back(event.code);
    return codes;
}

size_t RecordingSink::Count(int32_t code) const {
    size_t count = 0;
    for (const auto& event : Events()) count += event.code == code;
    return count;
}

std::vector<uint8_t> RecordingSink::Received() const {
    std::vector<uint8_t> received;
    for (const auto& event : Events()) {
        if (event.code == EventDataReceived) received.insert(received.end(), event.data.begin(), event.data.end());
    }
    return received;
}

std::vector<uint8_t> RecordingSink::Sent() const {
    std::vector<uint8_t> sent;
    for (const auto& event : Events()) {
        if (event.code == EventDataSent) sent.insert(sent.end(), event.data.begin(), event.data.end());
    }
    return sent;
}

std::vector<size_t> RecordingSink::SentCounts() const {
    std::vector<size_t> counts;
    for (const auto& event : Events()) {
        if (event.code == EventDataSent) counts.push_back(event.data.size());
    }
    return counts;
}

bool RecordingSink::WaitFor(int32_t code, DWORD milliseconds, size_t times) const {
    std::unique_lock<std::mutex> hold(m_lock);
    return m_changed.wait_for(hold, std::chrono::milliseconds(milliseconds), [&] {
        size_t seen = 0;
        for (const auto& event : m_events) seen += event.code == code;
        return seen >= times;
    });
}

bool RecordingSink::WaitForReceived(size_t bytes, DWORD milliseconds) const {
    std::unique_lock<std::mutex> hold(m_lock);
    return m_changed.wait_for(hold, std::chrono::milliseconds(milliseconds), [&] {
        size_t seen = 0;
        for (const auto& event : m_events) {
            if (event.code == EventDataReceived) seen += event.data.size();
        }
        return seen >= bytes;
    });
}
