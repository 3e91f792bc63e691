#pragma once
#include <windows.h>
#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

// The two ends of the null-modem cable: the plug-in opens one, the test plays
// the instrument on the other. Under Wine the rig links COM5 and COM6; on
// Windows name a real pair in SERIAL_RIG_PLUGIN_PORT and
// SERIAL_RIG_INSTRUMENT_PORT.
std::wstring PluginPortName();
std::wstring InstrumentPortName();
DCB RigLine();

// The instrument's end, opened for plain blocking I/O.
class Instrument {
public:
    Instrument();
    ~Instrument();
    Instrument(const Instrument&) = delete;
    Instrument& operator=(const Instrument&) = delete;

    bool IsOpen() const { return m_port != INVALID_HANDLE_VALUE; }
    bool Send(const std::vector<uint8_t>& bytes);
    // Sends blocks until StopStreaming; each byte is the low byte of its
    // position in the stream.
    void StartStreaming();
    void StopStreaming();
    // Drops whatever earlier tests left on the line.
    void Purge();

private:
    HANDLE m_port = INVALID_HANDLE_VALUE;
    std::atomic<bool> m_streaming{false};
    std::thread m_streamer;
};

// Drops bytes waiting at the plug-in's end from earlier tests.
void PurgePluginPort();
