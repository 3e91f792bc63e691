#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace DevHost {

// A line typed in `term` as the bytes to send: UTF-8 text or, with hex,
// two-digit hex bytes that spaces may separate ("24 50 0d0a"); then the
// line ending. A bad hex line gives false with the reason, and no bytes.
bool EncodeTypedLine(std::wstring_view line, bool hex, const std::string& lineEnding, std::vector<uint8_t>& bytes,
                     std::wstring& error);

}  // namespace DevHost
