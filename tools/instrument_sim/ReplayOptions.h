#pragma once
#include <windows.h>
#include <string>
#include <vector>

struct ReplayOptions {
    std::wstring capture;
    std::wstring port;
    DWORD baud = 9600;
    double speed = 1.0;  // 2 plays twice as fast as recorded
};

// The replay mode's arguments (those after "replay"); false with what is wrong.
bool ParseReplayOptions(const std::vector<std::wstring>& arguments, ReplayOptions& options, std::wstring& error);
