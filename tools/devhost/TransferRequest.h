#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>
#include "ConsoleOutput.h"
#include "plugin_api/HostInterfaces.h"

namespace DevHost {

// Bytes to send to the instrument. Must outlive the plug-in object, which
// may hold it until it is destroyed.
class CTransferRequest final : public ITransferRequest {
public:
    CTransferRequest(std::wstring label, std::vector<uint8_t> bytes)
        : m_label(std::move(label)), m_bytes(std::move(bytes)) {}

    void HostSlot1() override {}
    void HostSlot2() override {}
    int32_t GetKind() override { return kSendBytesRequestKind; }
    const uint8_t* GetData() override { return m_bytes.data(); }
    int32_t GetSize() override { return static_cast<int32_t>(m_bytes.size()); }

    const std::wstring& Label() const { return m_label; }
    size_t Size() const { return m_bytes.size(); }
    uint64_t BytesSent() const { return m_bytesSent; }
    std::wstring Progress() const {
        return m_label + L": " + std::to_wstring(m_bytesSent) + L" of " + Counted(m_bytes.size(), L"byte");
    }
    // The plug-in reports each chunk sent, on its worker, by a pointer into the request.
    void CountIfHolds(const void* chunk, size_t count) {
        const auto* byte = static_cast<const uint8_t*>(chunk);
        if (!m_bytes.empty() && byte >= m_bytes.data() && byte < m_bytes.data() + m_bytes.size()) m_bytesSent += count;
    }

private:
    std::wstring m_label;
    std::vector<uint8_t> m_bytes;
    std::atomic<uint64_t> m_bytesSent{0};
};

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
