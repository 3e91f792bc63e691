#pragma once

namespace Win32 {

// The plug-in's trace: one line per notable step of an exchange (the port
// opened, settings refused, why an exchange ended, a write given up) to the
// Windows debug output, where DebugView, a debugger or `devhost --trace`
// shows it. Never a line per data block. Lines start "DeviceCommon:".

// printf-style; the line is cut at 511 characters. Makes no allocation and
// raises nothing.
void Trace(const wchar_t* format, ...);

// Each line also goes to copy until it is set back to null: a test reads the
// trace of its own process this way, as the debug output has only one
// reader per session.
using TraceCopy = void (*)(const wchar_t* line);
void SetTraceCopy(TraceCopy copy);

}  // namespace Win32
