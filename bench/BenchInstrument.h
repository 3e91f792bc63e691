#pragma once
#include <windows.h>
#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include "LineEnd.h"
#include "win32/Event.h"

// The instrument's end of one pair, opened for overlapped I/O. At most one
// activity runs on its thread at a time: counting what the host sends,
// answering each request at once, or streaming without pause.
class CBenchInstrument {
public:
    explicit CBenchInstrument(const std::wstring& port);
    ~CBenchInstrument();
    CBenchInstrument(const CBenchInstrument&) = delete;
    CBenchInstrument& operator=(const CBenchInstrument&) = delete;

    bool IsOpen() const { return m_end.IsOpen(); }
    // Writes all of it; false when the line took nothing for 5 s.
    bool Send(const void* data, size_t size);

    void StartCounting();
    uint64_t Counted() const { return m_counted; }
    // Blocks until the count reaches bytes (false after 60 s). A host
    // waits for its events rather than polling: a poller on one of the
    // rig's two cores slowed the side it watched by some percent.
    bool AwaitCount(uint64_t bytes);
    // Answers every request of requestSize bytes with the same bytes.
    void StartEchoing(DWORD requestSize);
    void StartStreaming();
    // Ends the activity and drops what is left in both directions.
    void Stop();
    // Drops what the host sent and the instrument did not read.
    void Purge();

private:
    template <typename Step>
    void Start(Step step);

    CLineEnd m_end;
    std::atomic<bool> m_running{false};
    std::atomic<uint64_t> m_counted{0};
    std::atomic<uint64_t> m_awaited{UINT64_MAX};
    Win32::CEvent m_reached{Win32::CEvent::Reset::Manual};
    std::thread m_thread;
};
