#pragma once
#include <windows.h>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>
#include "win32/CriticalSection.h"

// A capture records an exchange with its timing, so that it can be read,
// compared and played back onto a port later. It is text, one block per line:
//
//   # any line starting with '#' is a comment (devhost writes a header)
//   <milliseconds since the start> <in|out> <bytes as two-digit hex, spaced>
//
//   0 out 24 50 53 49 4D 0D 0A
//   152 in 24 47 50 47 47 41 2C
//
// "in" is what the instrument sent to the host, "out" what the host sent to
// the instrument. Times never go back. Blank lines are ignored.
namespace Capture {

enum class Direction { In, Out };

struct Block {
    uint64_t milliseconds = 0;
    Direction direction = Direction::In;
    std::string bytes;
};

std::string FormatBlock(const Block& block);

// Every block of a capture's text, or false with the line and what is wrong.
bool ParseCapture(const std::string& text, std::vector<Block>& blocks, std::string& error);

// Appends blocks to a capture file as they happen, from any thread, each line
// flushed at once so that a session ended by Ctrl+C loses nothing.
class CCaptureWriter {
public:
    CCaptureWriter() = default;
    ~CCaptureWriter();
    CCaptureWriter(const CCaptureWriter&) = delete;
    CCaptureWriter& operator=(const CCaptureWriter&) = delete;

    // Creates the file (replacing one that exists) with a header naming the
    // source; times are counted from this call.
    bool Open(const std::wstring& path, const std::string& source, std::wstring& error);
    bool IsOpen() const { return m_file != nullptr; }
    void Record(Direction direction, const void* data, size_t count);
    // False once a write failed (a full disk): the capture is then incomplete.
    bool Healthy() const;

private:
    mutable Win32::CCriticalSection m_lock;
    std::FILE* m_file = nullptr;
    LARGE_INTEGER m_start{};
    LARGE_INTEGER m_frequency{};
    bool m_failed = false;
};

}  // namespace Capture
