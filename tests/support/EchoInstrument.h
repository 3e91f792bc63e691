#pragma once
#include <windows.h>
#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>
#include "LineEnd.h"

// The instrument's end of the rig as an echo: every byte it receives goes
// back, in order, once the test allows it. Reading never waits for the
// write back. The host does not read while it sends a request, and a
// pseudo-terminal holds only a few kilobytes where a Windows driver queues
// a megabyte: an echo of a whole request while the next one goes out would
// wait on a full line, so the test paces it.
class CEchoInstrument {
public:
    CEchoInstrument();
    ~CEchoInstrument();
    CEchoInstrument(const CEchoInstrument&) = delete;
    CEchoInstrument& operator=(const CEchoInstrument&) = delete;

    bool IsOpen() const { return m_end.IsOpen(); }
    uint64_t BytesReceived() const;
    uint64_t ReceivedChecksum() const;
    // Lets the echo go on up to this many bytes in all.
    void AllowEcho(uint64_t bytes);

private:
    void ReadLoop();
    void EchoLoop();

    CLineEnd m_end;
    std::atomic<bool> m_running{true};
    mutable std::mutex m_lock;
    std::deque<std::vector<uint8_t>> m_toEcho;
    uint64_t m_received = 0;
    uint64_t m_checksum = 0;
    uint64_t m_echoAllowed = 0;
    uint64_t m_echoed = 0;
    std::thread m_reader;
    std::thread m_echo;
};
