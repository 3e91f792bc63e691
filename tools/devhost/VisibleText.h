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

}  // namespace DevHost
