#include "ReceivedText.h"
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

std::string HexDump(const uint8_t* data, size_t count, uint64_t streamOffset) {
    constexpr size_t kPerLine = 16;
    std::string dump;
    for (size_t line = 0; line < count; line += kPerLine) {
        char text[32];
        std::snprintf(text, sizeof text, "%08llx ", static_cast<unsigned long long>(streamOffset + line));
        dump += text;
        std::string printable;
        for (size_t i = line; i < line + kPerLine; ++i) {
            if (i < count) {
                std::snprintf(text, sizeof text, " %02x", data[i]);
                dump += text;
                printable += data[i] >= 0x20 && data[i] < 0x7f ? static_cast<char>(data[i]) : '.';
            } else {
                dump += "   ";
            }
        }
        dump += "  |" + printable + "|\n";
    }
    return dump;
}

}  // namespace DevHost
