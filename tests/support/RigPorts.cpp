#include "RigPorts.h"
#include <chrono>

namespace {

std::wstring FromEnvironment(const wchar_t* variable, const wchar_t* fallback) {
    wchar_t value[64];
    DWORD length = GetEnvironmentVariableW(variable, value, 64);
    return length > 0 && length < 64 ? std::wstring(value, length) : std::wstring(fallback);
}

}  // namespace

std::wstring PluginPortName() { return FromEnvironment(L"SERIAL_RIG_PLUGIN_PORT", L"COM5"); }
std::wstring InstrumentPortName() { return FromEnvironment(L"SERIAL_RIG_INSTRUMENT_PORT", L"COM6"); }

DCB RigLine() {
    DCB line{};
    line.DCBlength = sizeof line;
    BuildCommDCBW(L"baud=115200 parity=N data=8 stop=1", &line);
    line.fBinary = TRUE;
    return line;
}

// Reads return at once with what is queued.
CRigInstrument::CRigInstrument() : m_end(InstrumentPortName(), RigLine(), COMMTIMEOUTS{MAXDWORD, 0, 0, 0, 1000}) {}

CRigInstrument::~CRigInstrument() {
    StopStreaming();
    StopReading();
}

bool CRigInstrument::Send(const std::vector<uint8_t>& bytes) { return m_end.Send(bytes.data(), bytes.size()); }

void CRigInstrument::StartStreaming(size_t blockSize, DWORD pause) {
    m_streaming = true;
    m_streamer = std::thread([this, blockSize, pause] {
        std::vector<uint8_t> block(blockSize);
        uint32_t position = 0;
        while (m_streaming) {
            for (auto& byte : block) byte = static_cast<uint8_t>(position++);
            if (!Send(block)) break;
            if (pause) Sleep(pause);
        }
    });
}

void CRigInstrument::StopStreaming() {
    m_streaming = false;
    if (m_streamer.joinable()) m_streamer.join();
}

void CRigInstrument::StartReading() {
    m_reading = true;
    m_reader = std::thread([this] {
        std::vector<uint8_t> block(65536);
        while (m_reading) {
            // A read returns at once when bytes are there; on an empty line
            // Windows returns nothing and Wine waits, so both are bounded.
            DWORD count = m_end.Transfer(false, block.data(), static_cast<DWORD>(block.size()), 20);
            if (count == 0) {
                Sleep(1);
                continue;
            }
            {
                std::lock_guard<std::mutex> hold(m_readLock);
                m_read.insert(m_read.end(), block.begin(), block.begin() + count);
            }
            m_readMore.notify_all();
        }
    });
}

std::vector<uint8_t> CRigInstrument::StopReading() {
    m_reading = false;
    if (m_reader.joinable()) m_reader.join();
    std::lock_guard<std::mutex> hold(m_readLock);
    std::vector<uint8_t> read;
    read.swap(m_read);
    return read;
}

size_t CRigInstrument::BytesRead() const {
    std::lock_guard<std::mutex> hold(m_readLock);
    return m_read.size();
}

bool CRigInstrument::WaitForBytes(size_t count, DWORD milliseconds) const {
    std::unique_lock<std::mutex> hold(m_readLock);
    return m_readMore.wait_for(hold, std::chrono::milliseconds(milliseconds), [&] { return m_read.size() >= count; });
}

std::vector<uint8_t> CRigInstrument::ReadUntilQuiet(DWORD quiet) {
    StartReading();
    for (size_t before = SIZE_MAX; before != BytesRead();) {
        before = BytesRead();
        Sleep(quiet);
    }
    return StopReading();
}

void CRigInstrument::Purge() { m_end.Purge(); }
