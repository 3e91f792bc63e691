#pragma once
#include <windows.h>

namespace Win32 {

// Waits until the object is signalled, dispatching meanwhile the messages
// other threads send to this one, as a single-threaded COM apartment does:
// a window host whose callback sends to the waiting thread gets its answer,
// and the wait can end. Posted messages and input stay queued, so nothing
// but what was sent re-enters the host's windows. A wait that lasts over a
// second writes one trace line naming what it waits for. False when the
// limit passed first.
bool WaitLettingSentMessagesThrough(HANDLE object, const wchar_t* waitingFor, DWORD limitMilliseconds = INFINITE);

}  // namespace Win32
