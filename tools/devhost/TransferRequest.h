#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>
#include "plugin_api/HostInterfaces.h"

namespace DevHost {

// The only kind of request the plug-in sends.
constexpr int32_t kSendBytesKind = 4;

// Bytes to send to the instrument, from a file or from literal text. Must
// outlive the plug-in object, which may hold it until it is destroyed.
class CTransferRequest final : public ITransferRequest {
public:
    CTransferRequest(std::wstring label, std::vector<uint8_t> bytes)
        : m_label(std::move(label)), m_bytes(std::move(bytes)) {}

    void HostSlot1() override {}
    void HostSlot2() override {}
    int32_t GetKind() override { return kSendBytesKind; }
    const uint8_t* GetData() override { return m_bytes.data(); }
    int32_t GetSize() override { return static_cast<int32_t>(m_bytes.size()); }

    const std::wstring& Label() const { return m_label; }
    size_t Size() const { return m_bytes.size(); }
    // Whether a sent chunk's pointer lies inside this request's bytes.
    bool Holds(const void* chunk) const;

private:
    std::wstring m_label;
    std::vector<uint8_t> m_bytes;
};

// The whole file; files of 2 GiB and more are refused (the size is 32-bit).
bool ReadTransferFile(const std::wstring& path, std::vector<uint8_t>& bytes, std::wstring& error);

// --say text as UTF-8 bytes, with the escapes \r \n \t \\ and \xHH, since a
// command line cannot carry a line end reliably.
bool DecodeSayText(std::wstring_view text, std::vector<uint8_t>& bytes, std::wstring& error);

// A line typed in `term` as the bytes to send: UTF-8 text or, with hex,
// two-digit hex bytes that spaces may separate ("24 50 0d0a"); then the
// line ending. A bad hex line gives false with the reason, and no bytes.
bool EncodeTypedLine(std::wstring_view line, bool hex, const std::string& lineEnding, std::vector<uint8_t>& bytes,
                     std::wstring& error);

}  // namespace DevHost
