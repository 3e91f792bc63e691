#pragma once
#include <string>
#include <vector>

// The plug-in's trace lines written while it lives, for a test to read.
// One at a time.
class CTraceLines {
public:
    CTraceLines();
    ~CTraceLines();
    CTraceLines(const CTraceLines&) = delete;
    CTraceLines& operator=(const CTraceLines&) = delete;

    std::vector<std::wstring> All() const;
    // The lines that hold text.
    std::vector<std::wstring> With(const std::wstring& text) const;
    // True once a line holding text has been written, within the time.
    bool WaitFor(const std::wstring& text, unsigned long milliseconds) const;
};
