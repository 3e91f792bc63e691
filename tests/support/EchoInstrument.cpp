#include "EchoInstrument.h"
#include "RecordingSink.h"
#include "RigPorts.h"

namespace {
constexpr DWORD kBlock = 65536;
// A read returns as soon as anything came, or empty after 100 ms.
constexpr COMMTIMEOUTS kReadWhatCame{MAXDWORD, MAXDWORD, 100, 0, 0};
}  // namespace

CEchoInstrument::CEchoInstrument() : m_end(InstrumentPortName(), RigLine(), kReadWhatCame) {
    if (!IsOpen()) return;
    m_reader = std::thread([this] { ReadLoop(); });
    m_echo = std::thread([this] { EchoLoop(); });
}

CEchoInstrument::~CEchoInstrument() {
    m_running = false;
    m_end.Interrupt();
    if (m_reader.joinable()) m_reader.join();
    if (m_echo.joinable()) m_echo.join();
}

uint64_t CEchoInstrument::BytesReceived() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_received;
}

uint64_t CEchoInstrument::ReceivedChecksum() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_checksum;
}

void CEchoInstrument::AllowEcho(uint64_t bytes) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_echoAllowed = bytes;
}

void CEchoInstrument::ReadLoop() {
    std::vector<uint8_t> buffer(kBlock);
    while (m_running) {
        DWORD count = m_end.Transfer(false, buffer.data(), kBlock, INFINITE);
        if (count == 0) continue;
        std::lock_guard<std::mutex> hold(m_lock);
        m_received += count;
        m_checksum = StreamChecksum(m_checksum, buffer.data(), count);
        m_toEcho.emplace_back(buffer.begin(), buffer.begin() + count);
    }
}

void CEchoInstrument::EchoLoop() {
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
            sent += m_end.Transfer(true, block.data() + sent, static_cast<DWORD>(block.size() - sent), INFINITE);
        }
    }
}
