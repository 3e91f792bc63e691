#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace DevHost {

// Received bytes as text a console can show without being steered by them:
// CR, LF and CR LF each end a line (also when a block ends between CR and
// LF), tab stays, every other control byte and DEL show as <0x07>. Other
// bytes pass unchanged, so UTF-8 text reads as text.
class CVisibleText {
public:
    std::string Render(const uint8_t* data, size_t count);

private:
    bool m_afterCr = false;
};

// Lines of up to 16 bytes: the offset in the whole stream, the bytes in hex,
// and the printable ones as text. A block starts a fresh line, so the
// offsets show where each block began.
std::string HexDump(const uint8_t* data, size_t count, uint64_t streamOffset);

}  // namespace DevHost
