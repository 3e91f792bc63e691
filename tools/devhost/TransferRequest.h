#pragma once
#include <cstdint>
#include <string>
#include <vector>
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
    // The plug-in reports each chunk sent by a pointer into the request.
    bool Holds(const void* chunk) const {
        const auto* byte = static_cast<const uint8_t*>(chunk);
        return !m_bytes.empty() && byte >= m_bytes.data() && byte < m_bytes.data() + m_bytes.size();
    }

private:
    std::wstring m_label;
    std::vector<uint8_t> m_bytes;
};

}  // namespace DevHost
