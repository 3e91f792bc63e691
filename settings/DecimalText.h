#pragma once
#include <cstdint>
#include "plugin_api/WideString.h"

namespace Settings {

// A number as the property list shows it (the wait time, the speeds, the
// data bits): signed decimal.
Plugin::WideString FormatDecimal(int32_t value);

// The number the user typed: leading white space skipped, an optional sign,
// then decimal digits up to the first other character. No digits give 0; a
// value beyond 32 bits gives the nearest bound. Null reads as empty, as a
// null BSTR means the empty string.
int32_t ParseDecimal(const wchar_t* text);

}  // namespace Settings
