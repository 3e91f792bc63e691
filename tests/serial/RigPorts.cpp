#include "RigPorts.h"
#include "serial/DevicePath.h"

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
                         nullptr, OPEN_EXISTING, 0, nullptr);
    if (m_port == INVALID_HANDLE_VALUE) return;
    DCB line = RigLine();
    SetCommState(m_port, &line);
    COMMTIMEOUTS timeouts{MAXDWORD, 0, 0, 0, 1000};
    SetCommTimeouts(m_port, &timeouts);
    Purge();
}

Instrument::~Instrument() {
    StopStreaming();
    if (m_port != INVALID_HANDLE_VALUE) CloseHandle(m_port);
}

bool Instrument::Send(const std::vector<uint8_t>& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        DWORD written = 0;
        if (!WriteFile(m_port, bytes.data() + sent, static_cast<DWORD>(bytes.size() - sent), &written, nullptr) ||
            written == 0) {
            return false;
        }
        sent += written;
    }
    return true;
}

void Instrument::StartStreaming() {
    m_streaming = true;
    m_streamer = std::thread([this] {
        std::vector<uint8_t> block(4096);
        uint32_t position = 0;
        while (m_streaming) {
            for (auto& byte : block) byte = static_cast<uint8_t>(position++);
            if (!Send(block)) break;
        }
    });
}

void Instrument::StopStreaming() {
    m_streaming = false;
    if (m_streamer.joinable()) m_streamer.join();
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
