#include "Replay.h"
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>
#include "Capture.h"
#include "SerialLine.h"
#include "WholeFile.h"

namespace {

using Clock = std::chrono::steady_clock;

bool ReadInstrumentBlocks(const std::wstring& path, std::vector<Capture::Block>& played) {
    std::string text;
    if (!ReadWholeFile(path.c_str(), text)) {
        std::fprintf(stderr, "cannot read %ls\n", path.c_str());
        return false;
    }
    std::vector<Capture::Block> blocks;
    std::string error;
    if (!Capture::ParseCapture(text, blocks, error)) {
        std::fprintf(stderr, "%ls: %s\n", path.c_str(), error.c_str());
        return false;
    }
    for (Capture::Block& block : blocks) {
        if (block.direction == Capture::Direction::In) played.push_back(std::move(block));
    }
    if (played.empty()) {
        std::fprintf(stderr, "%ls: nothing to play, no block from the instrument (\"in\")\n", path.c_str());
        return false;
    }
    return true;
}

}  // namespace

int RunReplay(const ReplayOptions& options) {
    std::vector<Capture::Block> blocks;
    if (!ReadInstrumentBlocks(options.capture, blocks)) return 1;
    CSerialLine line;
    DWORD error = 0;
    if (!line.Open(options.port, options.baud, error)) {
        std::fprintf(stderr, "[replay] cannot open %ls (error %lu)\n", options.port.c_str(), error);
        return 2;
    }
    std::fprintf(stderr, "[replay] %ls open at %lu baud 8N1; playing %zu blocks at %g times the recorded pace\n",
                 options.port.c_str(), options.baud, blocks.size(), options.speed);

    // Every block is due at a time counted from one start, so that a late
    // write does not push back the blocks after it.
    const Clock::time_point start = Clock::now();
    const uint64_t first = blocks.front().milliseconds;
    size_t bytes = 0;
    for (const Capture::Block& block : blocks) {
        std::chrono::duration<double, std::milli> offset(static_cast<double>(block.milliseconds - first) / options.speed);
        std::this_thread::sleep_until(start + std::chrono::duration_cast<Clock::duration>(offset));
        if (!line.Write(block.bytes)) {
            std::fprintf(stderr, "[replay] writing the port failed after %zu bytes\n", bytes);
            return 2;
        }
        bytes += block.bytes.size();
    }
    // Every byte was handed to the driver, so a driver that cannot tell when
    // they have left is no reason to fail the replay.
    if (!line.Drain()) std::fprintf(stderr, "[replay] the driver did not confirm that the last bytes left the port\n");
    std::printf("played %zu blocks, %zu bytes in %.3f s\n", blocks.size(), bytes,
                std::chrono::duration<double>(Clock::now() - start).count());
    return 0;
}
