#pragma once
#include <string>
#include "DriverProbe.h"

namespace DevHost {

// doctor's report of what a driver did, as plain text: per behaviour a line
// of what was seen, errors by name, and one of what the plug-in does about it.
struct DoctorReport {
    std::wstring text;
    bool portUsable = false;  // false when the port cannot serve an exchange at all
};

DoctorReport WriteDoctorReport(const DriverObservations& seen);

}  // namespace DevHost
