#pragma once
// What a host may rely on beyond the interface tables: the keys under which
// the plug-in stores its settings with their defaults, and the wording of
// the trace line that says why an exchange ended. The plug-in's own code
// uses these, so a host that reads them cannot drift from it.
#include <cstdint>

namespace Shared {

// One stored setting: its entry's id in the property list and its key in
// the host's settings.
struct StoredSetting {
    int32_t propertyId;
    const wchar_t* key;
};

constexpr StoredSetting kPort{1, L"PORT"};
constexpr StoredSetting kBaudRate{2, L"BAUDRATE"};
constexpr StoredSetting kParity{3, L"PARITY"};
constexpr StoredSetting kDataBits{4, L"BYTESIZE"};
constexpr StoredSetting kStopBits{5, L"STOPBITS"};
constexpr StoredSetting kFlowControl{6, L"FLOWCONTROL"};
constexpr StoredSetting kWaitTime{8, L"WATETIME"};

// What an absent key reads as. Parity and stop bits are Win32's codes
// (NOPARITY, ONESTOPBIT), the port its name.
constexpr wchar_t kDefaultPort[] = L"COM1";
constexpr int32_t kDefaultBaudRate = 9600;
constexpr int32_t kDefaultParity = 0;
constexpr int32_t kDefaultDataBits = 8;
constexpr int32_t kDefaultStopBits = 0;
constexpr int32_t kDefaultWaitSeconds = 10;

// The stored values of the flow control setting; none is the default.
constexpr int32_t kFlowNone = 0;
constexpr int32_t kFlowHardware = 1;
constexpr int32_t kFlowXonXoff = 2;

// "DeviceCommon: \\.\COM5: exchange ended: no data for more than 2 s": the
// mark, then one of the reasons and what the plug-in adds to it.
constexpr wchar_t kExchangeEnded[] = L"exchange ended: ";
constexpr wchar_t kEndReleased[] = L"the last reference was released";
constexpr wchar_t kEndDeviceGone[] = L"the device is gone";  // then "(error N from the CALL)"
constexpr wchar_t kEndStopped[] = L"stopped by the host";
constexpr wchar_t kEndNoData[] = L"no data for more than";  // then "N s"
// The line-error totals, said just before the end.
constexpr wchar_t kLineErrorTotals[] = L": line errors in this exchange: ";

}  // namespace Shared
