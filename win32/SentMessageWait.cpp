#include "win32/SentMessageWait.h"
#include <algorithm>
#include "serial/Trace.h"

namespace Win32 {

namespace {
constexpr ULONGLONG kTracedAfterMilliseconds = 1000;
}

void WaitLettingSentMessagesThrough(HANDLE object, const wchar_t* waitingFor) {
    const ULONGLONG begun = GetTickCount64();
    bool traced = false;
    for (;;) {
        const ULONGLONG waited = std::min(GetTickCount64() - begun, kTracedAfterMilliseconds);
        const DWORD timeout = traced ? INFINITE : static_cast<DWORD>(kTracedAfterMilliseconds - waited);
        // Also wakes for messages that came before the wait began.
        const DWORD result = MsgWaitForMultipleObjectsEx(1, &object, timeout, QS_SENDMESSAGE, MWMO_INPUTAVAILABLE);
        if (result == WAIT_OBJECT_0 + 1) {
            // Dispatches every sent message and removes nothing else.
            MSG message;
            PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        } else if (result == WAIT_TIMEOUT) {
            Trace(L"waiting over %llu ms for %ls", kTracedAfterMilliseconds, waitingFor);
            traced = true;
        } else {
            // Signalled, abandoned, or a handle that cannot be waited for.
            return;
        }
    }
}

}  // namespace Win32
