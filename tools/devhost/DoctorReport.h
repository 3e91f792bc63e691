#pragma once
#include <string>
#include "DriverObservations.h"
#include "PluginProbe.h"
#include "PortDevice.h"

namespace DevHost {

// doctor's report as plain text: per behaviour a line of what was seen,
// errors by name, and one of what the plug-in does about it.
struct DoctorReport {
    std::wstring text;
    bool portUsable = false;  // false when the port cannot serve an exchange at all
};

DoctorReport WriteDoctorReport(const PortDevice& device, const DriverState& first, const PluginObservations& plugin,
                               const DriverObservations& seen);

}  // namespace DevHost
