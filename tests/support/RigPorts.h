#pragma once
#include <windows.h>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>
#include "LineEnd.h"

// The two ends of the null-modem cable: the plug-in opens one, the test plays
// the instrument on the other. Under Wine the rig links COM5 and COM6; on
// Windows name a real pair in SERIAL_RIG_PLUGIN_PORT and
// SERIAL_RIG_INSTRUMENT_PORT.
std::wstring PluginPortName();
std::wstring InstrumentPortName();
DCB RigLine();

// The instrument's end. Opened for overlapped I/O so that it can read and
// write at the same time, as the far end of a full-duplex line does.
class CRigInstrument {
public:
    CRigInstrument();
    ~CRigInstrument();
    CRigInstrument(const CRigInstrument&) = delete;
    CRigInstrument& operator=(const CRigInstrument&) = delete;

    bool IsOpen() const { return m_end.IsOpen(); }
    bool Send(const std::vector<uint8_t>& bytes);
    // Sends blocks until StopStreaming, each after a pause of the given
    // milliseconds (none: as fast as the line takes them); each byte is the
    // low byte of its position in the stream.
    void StartStreaming(size_t blockSize = 4096, DWORD pause = 0);
    void StopStreaming();
    // Drops whatever earlier tests left on the line.
    void Purge();

    // Reads everything that arrives, on a thread of its own, until
    // StopReading, which returns it.
    void StartReading();
    std::vector<uint8_t> StopReading();
    size_t BytesRead() const;
    bool WaitForBytes(size_t count, DWORD milliseconds) const;
    // Reads until nothing has come for `quiet` milliseconds.
    std::vector<uint8_t> ReadUntilQuiet(DWORD quiet);

private:
    CLineEnd m_end;
    std::atomic<bool> m_streaming{false};
    std::thread m_streamer;

    std::atomic<bool> m_reading{false};
    std::thread m_reader;
    mutable std::mutex m_readLock;
    mutable std::condition_variable m_readMore;
    std::vector<uint8_t> m_read;
};

// Drops bytes waiting at the plug-in's end from earlier tests.
inline void PurgePluginPort() { DrainPort(PluginPortName()); }
