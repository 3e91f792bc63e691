#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace DevHost {

// Lines of up to 16 bytes: the offset in the whole stream, the bytes in hex,
// and the printable ones as text. A block starts a fresh line, so the
// offsets show where each block began.
std::string HexDump(const uint8_t* data, size_t count, uint64_t streamOffset);

}  // namespace DevHost
