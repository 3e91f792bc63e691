#pragma once
#include <windows.h>

// What this process holds and spends, to prove that repeated exchanges leave
// nothing behind and that an idle or broken exchange does not spin.
namespace Census {

// Kernel handles open in this process. Wine answers GetProcessHandleCount
// with 0, so there the system's handle table is counted for our process.
DWORD HandleCount();
// Threads of this process.
DWORD ThreadCount();
// User and kernel CPU time of the whole process so far.
double CpuMilliseconds();

// Polls until the handle and thread counts are back at a value: exiting
// threads take a moment to leave the table.
bool SettlesAt(DWORD handles, DWORD threads, DWORD milliseconds);

}  // namespace Census
