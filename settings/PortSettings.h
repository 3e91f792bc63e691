#pragma once
#include <windows.h>
#include <cstdint>
#include "plugin_api/SharedConstants.h"
#include "plugin_api/WideString.h"

namespace Settings {

enum FlowControlMode : int32_t {
    FlowNone = Shared::kFlowNone,
    FlowHardware = Shared::kFlowHardware,
    FlowXonXoff = Shared::kFlowXonXoff,
};

// Byte fields of the line record take the low 8 bits of the value given.
inline BYTE LowByte(int32_t value) { return static_cast<BYTE>(value & 0xFF); }

// The serial line parameters that the host stores and the exchange uses.
struct PortSettings {
    DCB line{};
    Plugin::WideString portName;
    int32_t waitTime = 10;
    int32_t flowControl = FlowNone;
};

}  // namespace Settings
