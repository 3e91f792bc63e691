#include "win32/SentMessageWait.h"
#include <algorithm>
#include "win32/Trace.h"

namespace Win32 {

namespace {
constexpr ULONGLONG kTracedAfterMilliseconds = 1000;
}

bool WaitLettingSentMessagesThrough(HANDLE object, const wchar_t* waitingFor, DWORD limitMilliseconds) {
    const ULONGLONG begun = GetTickCount64();
    bool traced = false;
    for (;;) {
        const ULONGLONG waited = GetTickCount64() - begun;
        if (limitMilliseconds != INFINITE && waited >= limitMilliseconds) return false;
        ULONGLONG timeout = traced ? INFINITE : kTracedAfterMilliseconds - std::min(waited, kTracedAfterMilliseconds);
        if (limitMilliseconds != INFINITE) timeout = std::min<ULONGLONG>(timeout, limitMilliseconds - waited);
        // Also wakes for messages that came before the wait began.
        const DWORD result = MsgWaitForMultipleObjectsEx(1, &object, static_cast<DWORD>(timeout), QS_SENDMESSAGE,
                                                         MWMO_INPUTAVAILABLE);
        if (result == WAIT_OBJECT_0 + 1) {
            // Dispatches every sent message and removes nothing else.
            MSG message;
            PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        } else if (result == WAIT_TIMEOUT) {
            if (!traced && GetTickCount64() - begun >= kTracedAfterMilliseconds) {
                Win32::Trace(L"waiting over %llu ms for %ls", kTracedAfterMilliseconds, waitingFor);
                traced = true;
            }
        } else {
            // Signalled, abandoned, or a handle that cannot be waited for.
            return true;
        }
    }
}

}  // namespace Win32
