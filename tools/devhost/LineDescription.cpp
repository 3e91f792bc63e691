#include "LineDescription.h"
#include <windows.h>
#include <cstdint>
#include "IniSettings.h"
#include "Utf8.h"
#include "win32/UniqueBstr.h"

namespace DevHost {
namespace {

// A stored value outside the table is shown as such rather than guessed at.
template <size_t N>
std::string Named(const char* const (&names)[N], int32_t value) {
    return value >= 0 && static_cast<size_t>(value) < N ? names[value] : "?" + std::to_string(value);
}

}  // namespace

std::string DescribeSavedLine(const std::wstring& settingsPath) {
    static const char* const kParities[] = {"N", "O", "E", "M", "S"};
    static const char* const kStopBits[] = {"1", "1.5", "2"};
    static const char* const kFlows[] = {"none", "hardware", "xon/xoff"};
    CIniSettingsReader reader(settingsPath);
    Win32::UniqueBstr port(reader.ReadString(L"PORT", L"COM1"));
    return ToUtf8(port.Text()) + ", " + std::to_string(reader.ReadInt(L"BAUDRATE", 9600)) + " baud " +
           std::to_string(reader.ReadInt(L"BYTESIZE", 8)) + Named(kParities, reader.ReadInt(L"PARITY", NOPARITY)) +
           Named(kStopBits, reader.ReadInt(L"STOPBITS", ONESTOPBIT)) + ", flow " +
           Named(kFlows, reader.ReadInt(L"FLOWCONTROL", 0)) + ", wait " +
           std::to_string(reader.ReadInt(L"WATETIME", 10)) + " s";
}

}  // namespace DevHost
