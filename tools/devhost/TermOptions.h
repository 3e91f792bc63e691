#pragma once
#include <string>
#include <vector>

namespace DevHost {

struct TermOptions {
    std::string lineEnding = "\r\n";  // appended to every line typed
    bool hex = false;                 // lines typed are hex bytes; data shown as a hex dump
    bool timestamps = false;
    bool echo = false;
    bool restart = false;             // start the next exchange when the plug-in ends one
    std::wstring capturePath;         // empty: no capture
};

// --eol none|cr|lf|crlf; with --hex the line is the bytes typed, so nothing
// is appended unless --eol asks for it.
bool ParseTermOptions(const std::vector<std::wstring>& arguments, TermOptions& options, std::wstring& error);

}  // namespace DevHost
