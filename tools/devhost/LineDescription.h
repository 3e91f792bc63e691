#pragma once
#include <string>

namespace DevHost {

// "COM5, 38400 baud 8N1, flow none, wait 2 s": the saved settings as the
// exchange will use them, read with the plug-in's own defaults, for a
// capture's header.
std::string DescribeSavedLine(const std::wstring& settingsPath);

}  // namespace DevHost
