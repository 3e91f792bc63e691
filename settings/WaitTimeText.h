#pragma once
#include <cstdint>
#include "plugin_api/WideString.h"

namespace Settings {

// The wait time as the property list shows it: signed decimal.
Plugin::WideString FormatWaitTime(int32_t seconds);

// The number the user typed: leading white space skipped, an optional sign,
// then decimal digits up to the first other character. No digits give 0; a
// value beyond 32 bits gives the nearest bound. Null reads as empty, as a
// null BSTR means the empty string.
int32_t ParseWaitTime(const wchar_t* text);

}  // namespace Settings
