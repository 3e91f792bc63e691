#include "EchoInstrument.h"
#include "CountingSink.h"
#include "RigPorts.h"
#include "win32/DevicePath.h"

namespace {
constexpr DWORD kBlock = 65536;
constexpr DWORD kStopCheckMilliseconds = 50;
}  // namespace

EchoInstrument::EchoInstrument() {
    m_port = CreateFileW(DevicePathFor(InstrumentPortName().c_str()).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                         nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (m_port == INVALID_HANDLE_VALUE) return;
    DCB line = RigLine();
    SetCommState(m_port, &line);
    // A read returns as soon as anything came, or empty after 100 ms.
    COMMTIMEOUTS timeouts{MAXDWORD, MAXDWORD, 100, 0, 0};
    SetCommTimeouts(m_port, &timeouts);
    PurgeComm(m_port, PURGE_RXCLEAR | PURGE_TXCLEAR);
    m_reader = std::thread([this] { ReadLoop(); });
    m_echo = std::thread([this] { EchoLoop(); });
}

EchoInstrument::~EchoInstrument() {
    m_running = false;
    if (m_reader.joinable()) m_reader.join();
    if (m_echo.joinable()) m_echo.join();
    if (m_port != INVALID_HANDLE_VALUE) CloseHandle(m_port);
}

uint64_t EchoInstrument::BytesReceived() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_received;
}

uint64_t EchoInstrument::ReceivedChecksum() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_checksum;
}

void EchoInstrument::AllowEcho(uint64_t bytes) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_echoAllowed = bytes;
}

void EchoInstrument::ReadLoop() {
    std::vector<uint8_t> buffer(kBlock);
    while (m_running) {
        DWORD count = Transfer(false, buffer.data(), kBlock);
        if (count == 0) continue;
        std::lock_guard<std::mutex> hold(m_lock);
        m_received += count;
        m_checksum = StreamChecksum(m_checksum, buffer.data(), count);
        m_toEcho.emplace_back(buffer.begin(), buffer.begin() + count);
    }
}

void EchoInstrument::EchoLoop() {
    while (m_running) {
        std::vector<uint8_t> block;
        {
            std::lock_guard<std::mutex> hold(m_lock);
            if (!m_toEcho.empty() && m_echoed + m_toEcho.front().size() <= m_echoAllowed) {
                block = std::move(m_toEcho.front());
                m_toEcho.pop_front();
                m_echoed += block.size();
            }
        }
        if (block.empty()) {
            Sleep(1);
            continue;
        }
        for (size_t sent = 0; sent < block.size() && m_running;) {
            sent += Transfer(true, block.data() + sent, static_cast<DWORD>(block.size() - sent));
        }
    }
}

DWORD EchoInstrument::Transfer(bool write, void* buffer, DWORD size) {
    OVERLAPPED record{};
    record.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    DWORD moved = 0;
    BOOL done = write ? WriteFile(m_port, buffer, size, &moved, &record)
                      : ReadFile(m_port, buffer, size, &moved, &record);
    if (!done && GetLastError() == ERROR_IO_PENDING) {
        while (m_running && WaitForSingleObject(record.hEvent, kStopCheckMilliseconds) == WAIT_TIMEOUT) {
        }
        if (!m_running) CancelIoEx(m_port, &record);
        GetOverlappedResult(m_port, &record, &moved, TRUE);
    }
    CloseHandle(record.hEvent);
    return moved;
}
