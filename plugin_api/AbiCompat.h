#pragma once
// The host is built with Microsoft's compiler and calls our interface tables
// by slot, so every table must match MSVC's x64 layout. This is the one place
// where g++ needs telling.
//
// A virtual function that returns a struct: MSVC passes `this` first and the
// caller's return slot second, and returns the slot's address; g++ passes the
// slot first. Under g++ such a function therefore takes the slot explicitly
// after `this` and returns its address, which is MSVC's layout spelled out
// (MinGW's own Windows SDK headers do the same). MSVC keeps the natural form.
//
// The virtual destructor takes one slot under MSVC and two under g++. Every
// table keeps it last, after all slots the host calls, so no position moves.
#if defined(_MSC_VER)
#define PLUGIN_EXPLICIT_STRUCT_RETURN 0
#else
#define PLUGIN_EXPLICIT_STRUCT_RETURN 1
#endif
