#include "settings/LineFlags.h"
#include "settings/PortSettings.h"

namespace Settings {

void ApplyFlowControlFlags(DCB& line, int32_t mode) {
    const bool hardware = mode == FlowHardware;
    const bool software = mode == FlowXonXoff;
    line.fOutxCtsFlow = hardware;
    line.fOutxDsrFlow = hardware;
    line.fDtrControl = hardware ? DTR_CONTROL_HANDSHAKE : DTR_CONTROL_DISABLE;
    line.fOutX = software;
    line.fInX = software;
    line.fRtsControl = hardware ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_DISABLE;
}

}  // namespace Settings
