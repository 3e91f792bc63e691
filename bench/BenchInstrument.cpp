#include "BenchInstrument.h"
#include <vector>
#include "RigPorts.h"

namespace {
// Reads return at once with what is queued (Wine's go pending on an empty
// queue, so each is waited for briefly and cancelled).
constexpr COMMTIMEOUTS kReadWhatIsQueued{MAXDWORD, 0, 0, 0, 1000};
// A read waits for all it asks.
constexpr COMMTIMEOUTS kReadWhole{0, 0, 0, 0, 1000};
}  // namespace

CBenchInstrument::CBenchInstrument(const std::wstring& port) : m_end(port, RigLine(), kReadWhatIsQueued, 1048576) {}

CBenchInstrument::~CBenchInstrument() { Stop(); }

bool CBenchInstrument::Send(const void* data, size_t size) { return m_end.Send(data, size); }

template <typename Step>
void CBenchInstrument::Start(Step step) {
    Stop();
    m_running = true;
    m_thread = std::thread([this, step]() mutable {
        while (m_running) step();
    });
}

void CBenchInstrument::Stop() {
    m_running = false;
    if (m_thread.joinable()) m_thread.join();
    m_end.SetTimeouts(kReadWhatIsQueued);
    Purge();
}

void CBenchInstrument::Purge() { m_end.Purge(); }

void CBenchInstrument::StartCounting() {
    m_counted = 0;
    Start([this, block = std::vector<uint8_t>(65536)]() mutable {
        const DWORD count = m_end.Transfer(false, block.data(), DWORD(block.size()), 20);
        if (count == 0) Sleep(1);
        if ((m_counted += count) >= m_awaited) m_reached.Set();
    });
}

bool CBenchInstrument::AwaitCount(uint64_t bytes) {
    m_reached.Clear();
    m_awaited = bytes;
    const bool reached = m_counted >= bytes || WaitForSingleObject(m_reached.Get(), 60000) == WAIT_OBJECT_0;
    m_awaited = UINT64_MAX;
    return reached;
}

void CBenchInstrument::StartEchoing(DWORD requestSize) {
    m_end.SetTimeouts(kReadWhole);
    Start([this, request = std::vector<uint8_t>(requestSize), got = DWORD{0}]() mutable {
        // Waited for in steps, so Stop is seen.
        got += m_end.Transfer(false, request.data() + got, DWORD(request.size()) - got, 100);
        if (got < request.size()) return;
        Send(request.data(), request.size());
        got = 0;
    });
}

void CBenchInstrument::StartStreaming() {
    Start([this, block = std::vector<uint8_t>(4096, 0x5A)] { Send(block.data(), block.size()); });
}
