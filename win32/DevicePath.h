#pragma once
#include "plugin_api/WideString.h"

namespace Win32 {

// The path under which a port name is opened. Only COM1 to COM9 open by their
// bare name; COM10 and up exist only in the device namespace, so every name
// is opened as \\.\NAME. A name that already starts with a backslash is a
// path already and is used as it is. Names shown and stored stay plain.
Plugin::WideString DevicePathFor(const wchar_t* portName);

}  // namespace Win32
