#pragma once
#include <windows.h>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>
#include <gtest/gtest.h>
#include "serial/SerialApi.h"

// A serial driver whose answers the test writes. Overlapped operations may be
// left pending; they then complete the way a driver's do: a mask change ends
// a pending wait, CancelIo ends pending reads and writes, and a completion
// is reaped by GetOverlappedResult. Only one instance exists at a time.
class ScriptedSerialApi {
public:
    ScriptedSerialApi();
    ~ScriptedSerialApi();
    ScriptedSerialApi(const ScriptedSerialApi&) = delete;
    ScriptedSerialApi& operator=(const ScriptedSerialApi&) = delete;

    const SerialApi& Table() const;

    // Scripts; the defaults describe a quiet, healthy line.
    bool deviceExists = true;
    // False makes the device something else than a serial port (a file).
    bool serialDevice = true;
    // True once the device has been pulled out: the port's calls fail.
    bool deviceGone = false;
    std::function<BOOL(DWORD* events, OVERLAPPED* record)> waitCommEvent = [this](DWORD* events, OVERLAPPED* record) {
        return Pend(record, events);
    };
    std::function<DWORD()> bytesQueued = [] { return DWORD{0}; };
    // The output queue's count (cbOutQue).
    std::function<DWORD()> bytesUnsent = [] { return DWORD{0}; };
    std::function<BOOL(void* buffer, DWORD size, DWORD* read, OVERLAPPED* record)> readFile =
        [](void*, DWORD, DWORD* read, OVERLAPPED*) {
            *read = 0;
            return TRUE;
        };
    std::function<BOOL(const void* data, DWORD size, DWORD* written, OVERLAPPED* record)> writeFile =
        [](const void*, DWORD, DWORD*, OVERLAPPED*) {
            ADD_FAILURE() << "nothing is written while receiving";
            return FALSE;
        };
    // Bytes a pending read or write has moved when it is cancelled.
    DWORD bytesBeforeCancel = 0;
    // False: CancelIoEx leaves a pending write running, as some USB and
    // virtual-port drivers do while the line is held; a purge ends it.
    bool cancelsWrites = true;
    // False: the purge leaves a pending write running too.
    bool purgeEndsWrites = true;
    // Runs when a caller waits for an operation still pending, and may end
    // it; without it such a wait is a fault, as nothing would end it.
    std::function<void(OVERLAPPED* record)> whenWaitedFor;

    // Helpers for scripts: leave an operation pending, or complete it.
    BOOL Pend(OVERLAPPED* record, DWORD* events = nullptr);
    void Complete(OVERLAPPED* record, DWORD bytes, DWORD error = ERROR_SUCCESS, DWORD events = 0);

    // What the code under test did.
    std::vector<std::wstring> OpenedPaths() const;
    size_t Unreaped() const;
    DWORD mask = 0;
    DWORD queueSizes[2] = {};
    COMMTIMEOUTS timeouts{};
    DCB line{};
    DWORD readThread = 0;
    DWORD writeThread = 0;
    DWORD cancelThread = 0;
    int overlappedResultCalls = 0;
    int openHandles = 0;
    int outputPurges = 0;
    // When a pending write was last cancelled and the output last purged.
    ULONGLONG writeCancelledAt = 0;
    ULONGLONG purgedAt = 0;

    static ScriptedSerialApi& Current();

private:
    struct Pending {
        bool completed = false;
        DWORD bytes = 0;
        DWORD error = ERROR_SUCCESS;
        DWORD* events = nullptr;
        bool write = false;
    };
    void EndWrites();
    friend struct ScriptedCalls;

    mutable std::recursive_mutex m_lock;
    std::map<OVERLAPPED*, Pending> m_pending;
    std::vector<std::wstring> m_openedPaths;
};
