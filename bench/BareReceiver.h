#pragma once
#include <windows.h>
#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>
#include "BareLoop.h"
#include "BenchClock.h"

// The baseline's receiving side: a thread that turns the bare loop until
// destroyed, counting what it reads.
class CBareReceiver {
public:
    explicit CBareReceiver(const std::wstring& port) : m_loop(port), m_thread([this] { Run(); }) {}
    ~CBareReceiver() {
        m_running = false;
        m_thread.join();
    }
    CBareReceiver(const CBareReceiver&) = delete;
    CBareReceiver& operator=(const CBareReceiver&) = delete;

    std::atomic<uint64_t> received{0};
    std::atomic<uint64_t> blocks{0};
    std::atomic<uint64_t> emptyTurns{0};
    std::atomic<double> lastReceived{0};

private:
    void Run() {
        std::vector<BYTE> buffer(65536);
        while (m_running) {
            const DWORD count = m_loop.Turn(buffer.data(), DWORD(buffer.size()));
            if (count == 0) {
                ++emptyTurns;
                continue;
            }
            received += count;
            ++blocks;
            lastReceived = Now();
        }
    }

    CBareLoop m_loop;
    std::atomic<bool> m_running{true};
    std::thread m_thread;
};
