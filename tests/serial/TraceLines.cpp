#include "TraceLines.h"
#include <mutex>
#include "win32/Trace.h"

namespace {
std::mutex g_lock;
std::vector<std::wstring> g_lines;

void Keep(const wchar_t* line) {
    std::lock_guard<std::mutex> hold(g_lock);
    g_lines.emplace_back(line);
}
}  // namespace

TraceLines::TraceLines() {
    std::lock_guard<std::mutex> hold(g_lock);
    g_lines.clear();
    SetTraceCopy(&Keep);
}

TraceLines::~TraceLines() { SetTraceCopy(nullptr); }

std::vector<std::wstring> TraceLines::All() const {
    std::lock_guard<std::mutex> hold(g_lock);
    return g_lines;
}

std::vector<std::wstring> TraceLines::With(const std::wstring& text) const {
    std::vector<std::wstring> found;
    for (const std::wstring& line : All()) {
        if (line.find(text) != std::wstring::npos) found.push_back(line);
    }
    return found;
}
