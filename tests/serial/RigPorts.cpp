#include "RigPorts.h"
#include <chrono>
#include "win32/DevicePath.h"

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

Instrument::Instrument() {
    m_port = CreateFileW(DevicePathFor(InstrumentPortName().c_str()).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                         nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (m_port == INVALID_HANDLE_VALUE) return;
    DCB line = RigLine();
    SetCommState(m_port, &line);
    COMMTIMEOUTS timeouts{MAXDWORD, 0, 0, 0, 1000};
    SetCommTimeouts(m_port, &timeouts);
    Purge();
}

Instrument::~Instrument() {
    StopStreaming();
    StopReading();
    if (m_port != INVALID_HANDLE_VALUE) CloseHandle(m_port);
}

bool Instrument::Send(const std::vector<uint8_t>& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        // The driver's write time-out ends a write the line does not take.
        DWORD written = Transfer(true, const_cast<uint8_t*>(bytes.data() + sent),
                                 static_cast<DWORD>(bytes.size() - sent), 5000);
        if (written == 0) return false;
        sent += written;
    }
    return true;
}

void Instrument::StartStreaming(size_t blockSize, DWORD pause) {
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

void Instrument::StopStreaming() {
    m_streaming = false;
    if (m_streamer.joinable()) m_streamer.join();
}

DWORD Instrument::Transfer(bool write, void* buffer, DWORD size, DWORD milliseconds) {
    OVERLAPPED record{};
    record.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    DWORD moved = 0;
    BOOL started = write ? WriteFile(m_port, buffer, size, nullptr, &record)
                         : ReadFile(m_port, buffer, size, nullptr, &record);
    if (started || GetLastError() == ERROR_IO_PENDING) {
        if (WaitForSingleObject(record.hEvent, milliseconds) != WAIT_OBJECT_0) CancelIo(m_port);
        GetOverlappedResult(m_port, &record, &moved, TRUE);
    }
    CloseHandle(record.hEvent);
    return moved;
}

void Instrument::StartReading() {
    m_reading = true;
    m_reader = std::thread([this] {
        std::vector<uint8_t> block(65536);
        while (m_reading) {
            // A read returns at once when bytes are there; on an empty line
            // Windows returns nothing and Wine waits, so both are bounded.
            DWORD count = Transfer(false, block.data(), static_cast<DWORD>(block.size()), 20);
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

std::vector<uint8_t> Instrument::StopReading() {
    m_reading = false;
    if (m_reader.joinable()) m_reader.join();
    std::lock_guard<std::mutex> hold(m_readLock);
    std::vector<uint8_t> read;
    read.swap(m_read);
    return read;
}

size_t Instrument::BytesRead() const {
    std::lock_guard<std::mutex> hold(m_readLock);
    return m_read.size();
}

bool Instrument::WaitForBytes(size_t count, DWORD milliseconds) const {
    std::unique_lock<std::mutex> hold(m_readLock);
    return m_readMore.wait_for(hold, std::chrono::milliseconds(milliseconds), [&] { return m_read.size() >= count; });
}

std::vector<uint8_t> Instrument::ReadUntilQuiet(DWORD quiet) {
    StartReading();
    for (size_t before = SIZE_MAX; before != BytesRead();) {
        before = BytesRead();
        Sleep(quiet);
    }
    return StopReading();
}

void Instrument::Purge() { PurgeComm(m_port, PURGE_RXCLEAR | PURGE_TXCLEAR); }

void PurgePluginPort() {
    HANDLE port = CreateFileW(DevicePathFor(PluginPortName().c_str()).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (port == INVALID_HANDLE_VALUE) return;
    // Bytes still in the cable's buffers keep arriving for a while.
    for (int quietRounds = 0, round = 0; quietRounds < 2 && round < 40; ++round) {
        Sleep(50);
        DWORD errors = 0;
        COMSTAT status{};
        ClearCommError(port, &errors, &status);
        quietRounds = status.cbInQue == 0 ? quietRounds + 1 : 0;
        PurgeComm(port, PURGE_RXCLEAR | PURGE_TXCLEAR);
    }
    CloseHandle(port);
}
