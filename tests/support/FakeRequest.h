#pragma once
#include <gtest/gtest.h>
#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>
#include "plugin_api/HostInterfaces.h"

// Bytes with no short period, so a skipped or repeated chunk of any size
// shows as a mismatch.
inline std::vector<uint8_t> RequestBytes(size_t size, uint32_t offset = 0) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(((i + offset) * 2654435761u) >> 24);
    return bytes;
}

// A host's transfer request: bytes to send, its kind, and whether the
// plug-in touched it.
class CFakeRequest final : public ITransferRequest {
public:
    explicit CFakeRequest(std::vector<uint8_t> data, int32_t requestKind = 4)
        : bytes(std::move(data)), kind(requestKind), size(static_cast<int32_t>(bytes.size())) {}

    std::vector<uint8_t> bytes;
    int32_t kind;
    int32_t size;
    std::atomic<int> calls{0};
    // Runs inside GetKind, the first getter the plug-in calls.
    std::function<void()> whenAsked;

    void HostSlot1() override { ADD_FAILURE() << "the host's own slot was called"; }
    void HostSlot2() override { ADD_FAILURE() << "the host's own slot was called"; }
    int32_t GetKind() override {
        ++calls;
        if (whenAsked) whenAsked();
        return kind;
    }
    const uint8_t* GetData() override {
        ++calls;
        return bytes.empty() ? nullptr : bytes.data();
    }
    int32_t GetSize() override {
        ++calls;
        return size;
    }
};
