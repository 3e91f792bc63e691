#pragma once
#include <windows.h>
#include <cstdint>

namespace Settings {

// Sets the six flow-control fields of the line record for a flow-control
// mode; every mode other than hardware and XON/XOFF means none. Other
// fields are left alone.
void ApplyFlowControlFlags(DCB& line, int32_t mode);

}  // namespace Settings
