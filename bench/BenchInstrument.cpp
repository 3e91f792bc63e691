#include "BenchInstrument.h"
#include <vector>
#include "BenchPorts.h"

namespace {
// Reads return at once with what is queued (Wine's go pending on an empty
// queue, so each is waited for briefly and cancelled).
constexpr COMMTIMEOUTS kReadWhatIsQueued{MAXDWORD, 0, 0, 0, 1000};
// A read waits for all it asks.
constexpr COMMTIMEOUTS kReadWhole{0, 0, 0, 0, 1000};
}  // namespace

BenchInstrument::BenchInstrument(const std::wstring& port) : m_port(OpenPort(port, kReadWhatIsQueued)) {}

BenchInstrument::~BenchInstrument() { Stop(); }

DWORD BenchInstrument::Transfer(bool write, void* buffer, DWORD size, DWORD milliseconds) {
    OVERLAPPED record{};
    Win32::UniqueHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    record.hEvent = event.Get();
    DWORD moved = 0;
    const BOOL started = write ? WriteFile(m_port.Get(), buffer, size, nullptr, &record)
                               : ReadFile(m_port.Get(), buffer, size, nullptr, &record);
    if (started || GetLastError() == ERROR_IO_PENDING) {
        if (WaitForSingleObject(record.hEvent, milliseconds) != WAIT_OBJECT_0) CancelIo(m_port.Get());
        GetOverlappedResult(m_port.Get(), &record, &moved, TRUE);
    }
    return moved;
}

bool BenchInstrument::Send(const void* data, size_t size) {
    auto* bytes = static_cast<uint8_t*>(const_cast<void*>(data));
    for (size_t sent = 0; sent < size;) {
        const DWORD written = Transfer(true, bytes + sent, DWORD(std::min<size_t>(size - sent, 65536)), 5000);
        if (written == 0) return false;
        sent += written;
    }
    return true;
}

template <typename Step>
void BenchInstrument::Start(Step step) {
    Stop();
    m_running = true;
    m_thread = std::thread([this, step]() mutable {
        while (m_running) step();
    });
}

void BenchInstrument::Stop() {
    m_running = false;
    if (m_thread.joinable()) m_thread.join();
    COMMTIMEOUTS timeouts = kReadWhatIsQueued;
    SetCommTimeouts(m_port.Get(), &timeouts);
    Purge();
}

void BenchInstrument::Purge() { PurgeComm(m_port.Get(), PURGE_RXCLEAR | PURGE_TXCLEAR); }

void BenchInstrument::StartCounting() {
    m_counted = 0;
    Start([this, block = std::vector<uint8_t>(65536)]() mutable {
        const DWORD count = Transfer(false, block.data(), DWORD(block.size()), 20);
        if (count == 0) Sleep(1);
        if ((m_counted += count) >= m_awaited) SetEvent(m_reached.Get());
    });
}

bool BenchInstrument::AwaitCount(uint64_t bytes) {
    ResetEvent(m_reached.Get());
    m_awaited = bytes;
    const bool reached = m_counted >= bytes || WaitForSingleObject(m_reached.Get(), 60000) == WAIT_OBJECT_0;
    m_awaited = UINT64_MAX;
    return reached;
}

void BenchInstrument::StartEchoing(DWORD requestSize) {
    COMMTIMEOUTS timeouts = kReadWhole;
    SetCommTimeouts(m_port.Get(), &timeouts);
    Start([this, request = std::vector<uint8_t>(requestSize), got = DWORD{0}]() mutable {
        // Waited for in steps, so Stop is seen.
        got += Transfer(false, request.data() + got, DWORD(request.size()) - got, 100);
        if (got < request.size()) return;
        Send(request.data(), request.size());
        got = 0;
    });
}

void BenchInstrument::StartStreaming() {
    Start([this, block = std::vector<uint8_t>(4096, 0x5A)] { Send(block.data(), block.size()); });
}
