#pragma once
#include <string>

namespace Plugin {

// The module's strings. Like every other allocation of the module, one that
// cannot be made raises std::bad_alloc, which HostBoundary.h turns into the
// failure of the slot the host called.
using WideString = std::wstring;

}  // namespace Plugin
