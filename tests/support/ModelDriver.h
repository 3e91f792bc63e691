#pragma once
#include <windows.h>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>
#include "serial/SerialApi.h"
#include "win32/Event.h"

// How a driver's character wait behaves on its own.
enum class WaitStyle {
    Windows,      // completes when a character comes (or came since the last wait)
    Never,        // completes only when the mask changes or it is cancelled
    WithoutData,  // completes at once without a character (waitEvents say what it reports)
    Aborted,      // completes at once with ERROR_OPERATION_ABORTED (Wine on a plain pty)
};

// The ways real drivers answer differently from Microsoft's reference
// driver; all off is a driver that behaves as the documentation says.
struct DriverQuirks {
    DWORD openError = ERROR_SUCCESS;   // every CreateFileW fails with it
    DWORD lineRefusal = ERROR_SUCCESS; // every SetCommState fails with it
    bool checksSpecialCharacters = false;  // refuses XonChar == XoffChar
    bool wantsItsOwnRecord = false;        // refuses a record not read from it first
    bool checksLimits = false;             // refuses XonLim/XoffLim other than its own
    DWORD queueRefusal = ERROR_SUCCESS;    // SetupComm fails with it
    DWORD statusRefusal = ERROR_SUCCESS;   // ClearCommError always fails with it
    DWORD waitRefusal = ERROR_SUCCESS;     // WaitCommEvent always fails with it
    WaitStyle wait = WaitStyle::Windows;
    DWORD waitEvents = 0;
    bool countsLate = false;         // cbInQue stays 0 until a USB buffer's worth is queued
    bool readsPend = false;          // a read of an empty queue pends until cancelled, then moves 0
    bool ignoresWaitCancel = false;  // CancelIoEx does not end a wait (Wine)
    DWORD writeError = ERROR_SUCCESS;  // writes send their bytes, then fail with it
    DWORD writeLimit = 0;              // a write moves at most this many bytes (0: all)
    DWORD openMilliseconds = 0;        // CreateFileW connects this long first (Bluetooth), unless unstuck
    DWORD busyAfterClose = 0;          // opens this soon after a close fail with ERROR_ACCESS_DENIED (FTDI)
    bool writesHang = false;           // a write pends, deaf to cancel and purge, until unstuck
    bool readsHang = false;            // a read pends, deaf to cancel, until unstuck
    DWORD lineErrors = 0;              // ClearCommError's error word once after each arrival
    DWORD statusFailure = ERROR_SUCCESS;  // ClearCommError fails with it once after each arrival
    DWORD overReported = 0;            // reads and writes report this many bytes more than they moved
    bool notSerial = false;            // answers no query of its line state: a file or a pipe, not a port
    DWORD bytesBeforeCancel = 0;       // what a cancelled or purged read or write has moved
    bool ignoresWriteCancel = false;   // CancelIoEx leaves a pending write running, as some USB and
                                       // virtual-port drivers do while the line is held; a purge ends it
    bool purgeIgnoresWrites = false;   // the purge leaves such a write running too
    DWORD maskAtStart = 0;             // the event mask the device has before anyone sets one
};

// A serial device and its driver behind the port's call table, played in
// real time: bytes arrive when the test says, the driver's own line record
// changes only when it accepts one, and an unplug fails the calls the way
// the quirks and the test say. A test may also script a call: a script
// answers it instead of the model (and decides for itself whether the
// device is there), to produce what no model of a driver would, at the
// step the test chooses. Only one instance exists at a time.
class CModelDriver {
public:
    explicit CModelDriver(const DriverQuirks& quirks = {});
    ~CModelDriver();
    CModelDriver(const CModelDriver&) = delete;
    CModelDriver& operator=(const CModelDriver&) = delete;

    const Serial::SerialApi& Table() const;

    // May change between steps of a test; the model reads them at each call.
    DriverQuirks quirks;

    // Scripts; empty, the model answers.
    std::function<BOOL(DWORD* events, OVERLAPPED* record)> waitCommEvent;
    std::function<BOOL(void* buffer, DWORD size, DWORD* read, OVERLAPPED* record)> readFile;
    std::function<BOOL(const void* data, DWORD size, DWORD* written, OVERLAPPED* record)> writeFile;
    // The input and the output queue's counts (cbInQue, cbOutQue).
    std::function<DWORD()> bytesQueued;
    std::function<DWORD()> bytesUnsent;
    // Runs when a caller waits for an operation still pending, and may end
    // it; without it, and with nothing else to end it, such a wait fails
    // the test after a while instead of blocking it for ever.
    std::function<void(OVERLAPPED* record)> whenWaitedFor;
    // For scripts: leave an operation pending, or complete it.
    BOOL Pend(OVERLAPPED* record, DWORD* events = nullptr);
    void Complete(OVERLAPPED* record, DWORD bytes, DWORD error = ERROR_SUCCESS, DWORD events = 0);

    void Arrive(const std::vector<uint8_t>& bytes);
    // From now on every call on the device fails with error; with
    // ERROR_SUCCESS it vanishes silently: waits never complete and only the
    // line state query fails.
    void Unplug(DWORD error);
    void PlugBackIn();

    // The line record the driver works with now, and its event mask.
    DCB Line() const;
    DWORD Mask() const;
    std::vector<uint8_t> Written() const;
    // Each arrival: the offset of its first byte among all that arrived, and
    // when it arrived.
    std::vector<std::pair<size_t, ULONGLONG>> Arrivals() const;
    // Calls made on the device so far, and opens among them.
    int Calls() const;
    int Opens() const { return m_opens; }
    std::vector<std::wstring> OpenedPaths() const;
    int OpenHandles() const;
    // Operations started and not yet reaped.
    size_t Unreaped() const;
    // Ends what the quirks hold: a connecting open, hung writes and reads
    // (a write takes its bytes from the caller's buffer only now).
    void Unstick();
    bool Holding() const;
    // True once no call is under way and no handle is open.
    bool WaitUntilLetGo(DWORD milliseconds) const;

    // What the code under test did.
    DWORD queueSizes[2] = {};
    COMMTIMEOUTS timeouts{};
    DWORD readThread = 0;
    DWORD writeThread = 0;
    DWORD cancelThread = 0;
    int overlappedResultCalls = 0;
    int outputPurges = 0;
    // When a pending write was last cancelled and the output last purged.
    ULONGLONG writeCancelledAt = 0;
    ULONGLONG purgedAt = 0;

private:
    struct Pending {
        DWORD* events = nullptr;
        void* buffer = nullptr;
        DWORD size = 0;
        bool completed = false;
        DWORD bytes = 0;
        DWORD error = ERROR_SUCCESS;
        const void* hungWrite = nullptr;
        bool hung = false;
        bool write = false;
    };
    friend struct ModelCalls;

    BOOL Fail(DWORD error);
    BOOL Pend(OVERLAPPED* record, Pending pending);
    void EndMidway(OVERLAPPED* record, const Pending& pending);
    DWORD TakeInput(void* buffer, DWORD size);
    bool DeviceFails() const { return m_unplugged && m_unplugError != ERROR_SUCCESS; }

    mutable std::recursive_mutex m_lock;
    std::vector<std::wstring> m_openedPaths;
    DCB m_line{};
    bool m_recordRead = false;
    DWORD m_mask = 0;
    bool m_characterSeen = false;
    bool m_unplugged = false;
    DWORD m_unplugError = ERROR_SUCCESS;
    std::vector<uint8_t> m_input;
    size_t m_arrived = 0;
    std::vector<std::pair<size_t, ULONGLONG>> m_arrivals;
    std::vector<uint8_t> m_written;
    std::map<OVERLAPPED*, Pending> m_pending;
    std::atomic<int> m_calls{0};
    std::atomic<int> m_opens{0};
    std::atomic<int> m_callsUnderWay{0};
    int m_handles = 0;
    ULONGLONG m_lastClose = 0;
    DWORD m_errorsPending = 0;
    DWORD m_statusFailurePending = ERROR_SUCCESS;
    Win32::CEvent m_unstuck{Win32::CEvent::Reset::Manual};
};
