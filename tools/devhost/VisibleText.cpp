#include "VisibleText.h"
#include <cstdio>

namespace DevHost {

std::string CVisibleText::Render(const uint8_t* data, size_t count) {
    std::string text;
    text.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        uint8_t byte = data[i];
        bool afterCr = m_afterCr;
        m_afterCr = byte == '\r';
        if (byte == '\n' && afterCr) continue;
        if (byte == '\r' || byte == '\n') {
            text += '\n';
        } else if (byte == '\t' || (byte >= 0x20 && byte != 0x7f)) {
            text += static_cast<char>(byte);
        } else {
            char shown[8];
            std::snprintf(shown, sizeof shown, "<0x%02X>", byte);
            text += shown;
        }
    }
    return text;
}

}  // namespace DevHost
