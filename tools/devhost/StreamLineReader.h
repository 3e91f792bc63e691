#pragma once
#include <windows.h>
#include <memory>
#include "InputQueue.h"

namespace DevHost {

// Reads lines from a pipe or a file (LF or CR LF ends a line, UTF-8) on a
// thread of its own and queues them, then End. The thread is left to
// itself: a read from a pipe cannot be called off, and it holds the queue
// so that nothing it uses goes away before the process ends.
void StartStreamLineReader(HANDLE input, std::shared_ptr<CInputQueue> queue);

}  // namespace DevHost
