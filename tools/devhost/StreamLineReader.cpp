#include "StreamLineReader.h"
#include <string>
#include <thread>
#include <utility>
#include "Utf8.h"

namespace DevHost {
namespace {

void QueueLine(CInputQueue& queue, std::string line) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    queue.Push({TypedInput::Line, FromUtf8(line)});
}

void ReadLines(HANDLE input, const std::shared_ptr<CInputQueue>& queue) {
    std::string pending;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(input, buffer, sizeof buffer, &read, nullptr) && read > 0) {
        pending.append(buffer, read);
        for (size_t end; (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1)) {
            QueueLine(*queue, pending.substr(0, end));
        }
    }
    if (!pending.empty()) QueueLine(*queue, pending);
    queue->Push({TypedInput::End, {}});
}

}  // namespace

void StartStreamLineReader(HANDLE input, std::shared_ptr<CInputQueue> queue) {
    std::thread([input, queue = std::move(queue)] { ReadLines(input, queue); }).detach();
}

}  // namespace DevHost
