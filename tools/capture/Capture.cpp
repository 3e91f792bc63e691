#include "Capture.h"

namespace Capture {
namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// One block line; false with the reason.
bool ParseLine(const std::string& line, Block& block, std::string& reason) {
    size_t at = 0;
    auto skipSpaces = [&] {
        while (at < line.size() && IsSpace(line[at])) ++at;
    };
    auto word = [&] {
        skipSpaces();
        size_t begin = at;
        while (at < line.size() && !IsSpace(line[at])) ++at;
        return line.substr(begin, at - begin);
    };
    std::string time = word();
    if (time.empty() || time.size() > 15 || time.find_first_not_of("0123456789") != std::string::npos) {
        reason = "the time \"" + time + "\" is not a whole number of milliseconds";
        return false;
    }
    block.milliseconds = std::stoull(time);
    std::string direction = word();
    if (direction == "in") block.direction = Direction::In;
    else if (direction == "out") block.direction = Direction::Out;
    else {
        reason = "the direction \"" + direction + "\" is neither in nor out";
        return false;
    }
    block.bytes.clear();
    for (std::string pair = word(); !pair.empty(); pair = word()) {
        if (pair.size() != 2 || HexDigit(pair[0]) < 0 || HexDigit(pair[1]) < 0) {
            reason = "\"" + pair + "\" is not a byte in two hex digits";
            return false;
        }
        block.bytes.push_back(static_cast<char>(HexDigit(pair[0]) * 16 + HexDigit(pair[1])));
    }
    if (block.bytes.empty()) {
        reason = "the block has no bytes";
        return false;
    }
    return true;
}

}  // namespace

std::string FormatBlock(const Block& block) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string line = std::to_string(block.milliseconds);
    line += block.direction == Direction::In ? " in" : " out";
    for (unsigned char byte : block.bytes) {
        line += ' ';
        line += kDigits[byte >> 4];
        line += kDigits[byte & 15];
    }
    line += '\n';
    return line;
}

bool ParseCapture(const std::string& text, std::vector<Block>& blocks, std::string& error) {
    blocks.clear();
    size_t lineNumber = 0;
    for (size_t begin = 0; begin < text.size();) {
        size_t end = text.find('\n', begin);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(begin, end - begin);
        begin = end + 1;
        ++lineNumber;
        size_t first = line.find_first_not_of(" \t\r");
        if (first == std::string::npos || line[first] == '#') continue;
        Block block;
        std::string reason;
        if (!ParseLine(line, block, reason)) {
            error = "line " + std::to_string(lineNumber) + ": " + reason;
            return false;
        }
        if (!blocks.empty() && block.milliseconds < blocks.back().milliseconds) {
            error = "line " + std::to_string(lineNumber) + ": the time goes back";
            return false;
        }
        blocks.push_back(std::move(block));
    }
    return true;
}

CCaptureWriter::~CCaptureWriter() {
    if (m_file) std::fclose(m_file);
}

bool CCaptureWriter::Open(const std::wstring& path, const std::string& source, std::wstring& error) {
    Win32::CLock lock(m_lock);
    m_file = _wfopen(path.c_str(), L"wb");
    if (!m_file) {
        error = L"cannot create the capture file " + path;
        return false;
    }
    std::fprintf(m_file,
                 "# capture of %s\n"
                 "# milliseconds since the start, in (from the instrument) or out (to it), bytes in hex\n",
                 source.c_str());
    std::fflush(m_file);
    QueryPerformanceFrequency(&m_frequency);
    QueryPerformanceCounter(&m_start);
    return true;
}

void CCaptureWriter::Record(Direction direction, const void* data, size_t count) {
    Win32::CLock lock(m_lock);
    if (!m_file || count == 0) return;
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    Block block;
    block.milliseconds = static_cast<uint64_t>((now.QuadPart - m_start.QuadPart) * 1000 / m_frequency.QuadPart);
    block.direction = direction;
    block.bytes.assign(static_cast<const char*>(data), count);
    std::string line = FormatBlock(block);
    if (std::fwrite(line.data(), 1, line.size(), m_file) != line.size() || std::fflush(m_file) != 0) m_failed = true;
}

bool CCaptureWriter::Healthy() const {
    Win32::CLock lock(m_lock);
    return !m_failed;
}

}  // namespace Capture
