#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace DevHost {

// The bytes a request sends. Each gives false with the reason on bad input.

// The whole file; 2 GiB and more are refused (the request's size is 32-bit).
bool ReadTransferFile(const std::wstring& path, std::vector<uint8_t>& bytes, std::wstring& error);

// --say text as UTF-8, with the escapes \r \n \t \\ and \xHH, since a
// command line cannot carry a line end reliably.
bool DecodeSayText(std::wstring_view text, std::vector<uint8_t>& bytes, std::wstring& error);

// A line typed in `term`: UTF-8 text or, with hex, two-digit hex bytes that
// spaces may separate ("24 50 0d0a"); then the line ending.
bool EncodeTypedLine(std::wstring_view line, bool hex, const std::string& lineEnding, std::vector<uint8_t>& bytes,
                     std::wstring& error);

}  // namespace DevHost
