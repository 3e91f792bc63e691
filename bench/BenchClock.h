#pragma once
#include <windows.h>

// Milliseconds on the performance counter.
inline double Now() {
    LARGE_INTEGER frequency, counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return double(counter.QuadPart) * 1000.0 / double(frequency.QuadPart);
}

inline double CpuMilliseconds(const FILETIME& kernel, const FILETIME& user) {
    auto ticks = [](const FILETIME& t) { return (ULONGLONG(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
    return double(ticks(kernel) + ticks(user)) / 10000.0;
}

// CPU time of the whole process, Wine's helper threads included.
inline double ProcessCpuMilliseconds() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    return CpuMilliseconds(kernel, user);
}

inline double ThreadCpuMilliseconds() {
    FILETIME created, exited, kernel, user;
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
    return CpuMilliseconds(kernel, user);
}

// Polls gently: a spinning bench thread would take a core from the worker
// it measures. Times come from the receivers' own stamps, not from this loop.
template <typename Done>
bool WaitUntil(Done done, DWORD milliseconds = 60000) {
    const ULONGLONG deadline = GetTickCount64() + milliseconds;
    while (!done()) {
        if (GetTickCount64() > deadline) return false;
        Sleep(1);
    }
    return true;
}
