#include "TraceLines.h"
#include <chrono>
#include <condition_variable>
#include <mutex>
#include "win32/Trace.h"

namespace {
std::mutex g_lock;
std::condition_variable g_written;
std::vector<std::wstring> g_lines;

void Keep(const wchar_t* line) {
    {
        std::lock_guard<std::mutex> hold(g_lock);
        g_lines.emplace_back(line);
    }
    g_written.notify_all();
}
}  // namespace

CTraceLines::CTraceLines() {
    std::lock_guard<std::mutex> hold(g_lock);
    g_lines.clear();
    Win32::SetTraceCopy(&Keep);
}

CTraceLines::~CTraceLines() { Win32::SetTraceCopy(nullptr); }

std::vector<std::wstring> CTraceLines::All() const {
    std::lock_guard<std::mutex> hold(g_lock);
    return g_lines;
}

std::vector<std::wstring> CTraceLines::With(const std::wstring& text) const {
    std::vector<std::wstring> found;
    for (const std::wstring& line : All()) {
        if (line.find(text) != std::wstring::npos) found.push_back(line);
    }
    return found;
}

bool CTraceLines::WaitFor(const std::wstring& text, unsigned long milliseconds) const {
    std::unique_lock<std::mutex> hold(g_lock);
    return g_written.wait_for(hold, std::chrono::milliseconds(milliseconds), [&] {
        for (const std::wstring& line : g_lines) {
            if (line.find(text) != std::wstring::npos) return true;
        }
        return false;
    });
}
