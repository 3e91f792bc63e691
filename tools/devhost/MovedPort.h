#pragma once
#include <string>
#include <vector>
#include "DeviceList.h"

namespace DevHost {

// For a stored port that the plug-in does not list, so is not present: says
// so and names where its instrument may be now, each port with the devhost
// set line that stores it. These are the present ports whose device matches
// the one that held the port last (the same VID, PID and serial number of its
// own; any adapter of its kind when it had none; the same remote Bluetooth
// device), else every port present. devhost never chooses: tools that
// switched to another device by themselves sent work to the wrong board.
// Empty when the port is present.
std::wstring WhereThePortWent(const std::wstring& storedPort, const std::vector<std::wstring>& portsListed,
                              const DeviceList& list);

}  // namespace DevHost
