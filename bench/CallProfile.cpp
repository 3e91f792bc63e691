#include "CallProfile.h"
#include <atomic>
#include "BenchClock.h"

namespace {

struct AtomicTally {
    std::atomic<uint64_t> calls{0};
    std::atomic<uint64_t> nanoseconds{0};
};
AtomicTally g_tallies[kProfiledCalls];

template <typename Pointer>
struct Timed;

template <typename R, typename... A>
struct Timed<R(WINAPI*)(A...)> {
    using Pointer = R(WINAPI*)(A...);
    template <Pointer Serial::SerialApi::*Member, ProfiledCall Call>
    static R WINAPI Through(A... arguments) {
        const double start = Now();
        const R result = (Serial::SerialApi::System().*Member)(arguments...);
        const DWORD error = GetLastError();
        g_tallies[Call].nanoseconds += uint64_t((Now() - start) * 1e6);
        ++g_tallies[Call].calls;
        SetLastError(error);
        return result;
    }
};

template <auto Member, ProfiledCall Call, typename Pointer>
void Route(Pointer& slot) {
    slot = &Timed<Pointer>::template Through<Member, Call>;
}

}  // namespace

const Serial::SerialApi& ProfiledApi() {
    static const Serial::SerialApi api = [] {
        Serial::SerialApi profiled = Serial::SerialApi::System();
        Route<&Serial::SerialApi::clearCommError, kClearCommError>(profiled.clearCommError);
        Route<&Serial::SerialApi::readFile, kReadFile>(profiled.readFile);
        Route<&Serial::SerialApi::waitCommEvent, kWaitCommEvent>(profiled.waitCommEvent);
        Route<&Serial::SerialApi::getOverlappedResult, kGetOverlappedResult>(profiled.getOverlappedResult);
        Route<&Serial::SerialApi::cancelIoEx, kCancelIoEx>(profiled.cancelIoEx);
        Route<&Serial::SerialApi::getCommMask, kGetCommMask>(profiled.getCommMask);
        Route<&Serial::SerialApi::setCommMask, kSetCommMask>(profiled.setCommMask);
        return profiled;
    }();
    return api;
}

const char* NameOf(ProfiledCall call) {
    switch (call) {
    case kClearCommError: return "ClearCommError";
    case kReadFile: return "ReadFile";
    case kWaitCommEvent: return "WaitCommEvent";
    case kGetOverlappedResult: return "GetOverlappedResult";
    case kCancelIoEx: return "CancelIoEx";
    case kGetCommMask: return "GetCommMask";
    case kSetCommMask: return "SetCommMask";
    default: return "";
    }
}

CallTally Tally(ProfiledCall call) {
    return {g_tallies[call].calls, double(g_tallies[call].nanoseconds) / 1e6};
}

void ResetTallies() {
    for (AtomicTally& tally : g_tallies) {
        tally.calls = 0;
        tally.nanoseconds = 0;
    }
}
