#pragma once
#include <windows.h>
#include <string>

namespace DevHost {

// Windows' own text for an error code, "error 2" when it has none.
std::wstring WindowsMessage(DWORD error);

// Why an exchange ended, in the user's words, from what the plug-in's trace
// said after "exchange ended: " (empty when the trace said nothing).
std::wstring ExplainEnd(const std::wstring& traced);
// Whether the trace said the device went away during the exchange.
bool SaysDeviceGone(const std::wstring& traced);

// Why the port named in the settings did not open, naming it and what
// Windows said. The plug-in's trace gives its error where it has one;
// otherwise devhost opens the port itself to ask Windows.
std::wstring ExplainPortNotOpened(const std::wstring& portName, const std::wstring& tracedFailure);

}  // namespace DevHost
