#include "serial/ExchangeControl.h"
#include "plugin_api/IRefCounted.h"
#include "plugin_api/RefCounted.h"
#include "serial/Transmit.h"
#include "win32/CriticalSection.h"
#include "win32/ModuleReference.h"
#include "win32/SentMessageWait.h"
#include "win32/Trace.h"
#include "win32/UniqueHandle.h"

namespace Serial {

namespace {
// The longest the last Release waits for the worker. A driver may hold an
// open (a Bluetooth port connecting), a write or a read for as long as it
// likes, and the releasing thread is often the host's UI thread; the worker
// owns all that the driver writes into, so it can be left to finish.
constexpr DWORD kLetGoMilliseconds = 60;
}  // namespace

// Held by the plug-in and by the worker of a running exchange.
class CExchangeControl::CState : public Plugin::CRefCountedImpl<Plugin::IRefCounted, 1> {
public:
    // Raises the standard allocation failure when the system has no events
    // to give: without them no wait could be ended.
    explicit CState(const SerialApi& api) : m_port(api, m_shared, &GetTickCount64) {}

    bool Start(Exchange::Target& target);
    bool Stop();
    void OwnerLetsGo();

    CExchangeShared m_shared;

private:
    ~CState() override = default;

    static DWORD WINAPI Worker(void* state);
    void RunExchange();
    bool RunTurns();
    void Finish(DeviceEventCode code, const void* data, uint32_t count);

    // Operated by the worker alone.
    CWorkerPort m_port;
    // Guards the members below; never held while the host is called.
    Win32::CCriticalSection m_lock;
    Exchange::Target m_target;
    bool m_running = false;
    bool m_finishing = false;
    DWORD m_workerId = 0;
    Win32::CUniqueHandle m_worker;
    // The worker a start from its final event replaced, until the new
    // worker takes it.
    Win32::CUniqueHandle m_replaced;
};

CExchangeControl::CExchangeControl(const SerialApi& api) : m_state(new CState(api)) {}

CExchangeControl::~CExchangeControl() { m_state->OwnerLetsGo(); }

void CExchangeControl::SetSink(IDeviceEventSink* sink) { m_state->m_shared.Sink().Set(sink); }

bool CExchangeControl::StartExchange(Exchange::Target target) { return m_state->Start(target); }

bool CExchangeControl::StopExchange() { return m_state->Stop(); }

void CExchangeControl::Queue(ITransferRequest* request) {
    m_state->m_shared.Requests().Append(request);
    m_state->m_shared.Wake();
}

bool CExchangeControl::CState::Start(Exchange::Target& target) {
    if (!m_shared.Sink().HasSink()) return false;
    // The worker's code must stay mapped until its thread has ended, even
    // when the host unloads the module right after its last event. The
    // worker owns this reference from before it runs and drops it last.
    // Taken, and freed when the start is refused, outside our lock: both
    // enter the loader's lock, which is never taken inside ours.
    Win32::CModuleReference module;
    if (!module.Take(reinterpret_cast<const void*>(&Worker))) return false;
    {
        Win32::CLock hold(m_lock);
        // Only the finishing worker may start the next exchange before its
        // final event has returned: the new one's events then wait for it.
        const bool fromTheFinalEvent = m_finishing && m_workerId == GetCurrentThreadId();
        if (m_running && !fromTheFinalEvent) return false;
        DWORD id = 0;
        // Made suspended, so its handle and id are recorded before it can end:
        // once resumed it waits for this lock before it reads them.
        Win32::CUniqueHandle thread(CreateThread(nullptr, 0, &Worker, this, CREATE_SUSPENDED, &id));
        if (!thread.IsValid()) return false;
        // The thread's reference on the state, adopted when it runs.
        AddRef();
        if (ResumeThread(thread.Get()) == static_cast<DWORD>(-1)) {
            // It never ran and holds nothing: the start is refused as if it
            // had not been made.
            const DWORD error = GetLastError();
            const bool ended = TerminateThread(thread.Get(), 0) != FALSE;
            Win32::Trace(L"a worker thread could not be resumed, error %lu: the exchange does not start%ls", error,
                         ended ? L"" : L"; the suspended thread could not be ended either");
            Release();
            return false;
        }
        module.HandToThread();
        m_target = std::move(target);
        // A stop that came while the final event ran is the new exchange's:
        // the final event's own start must not clear it.
        if (!fromTheFinalEvent) m_shared.ClearStop();
        // A previous worker is inside its final event, past its last use of
        // these members: the new worker takes its handle and waits for it to
        // end, so whoever waits for the newest waits for both.
        m_replaced = std::move(m_worker);
        m_worker = std::move(thread);
        m_workerId = id;
        m_running = true;
        m_finishing = false;
        return true;
    }
}

bool CExchangeControl::CState::Stop() {
    const bool portWasHeld = m_shared.PortHeld();
    m_shared.Stop();
    return !portWasHeld;
}

void CExchangeControl::CState::OwnerLetsGo() {
    m_shared.Sink().Close();
    Stop();
    // Inside a callback the worker is this thread, or waits for it.
    if (m_shared.Sink().InsideCall()) return;
    HANDLE thread = nullptr;
    bool running = false;
    {
        Win32::CLock hold(m_lock);
        // A worker past its final event runs on until its thread ends. A host
        // may end its process once the last Release has returned, and a
        // thread still on its way out then races the process's own end. The
        // newest worker ends only after any worker it replaced.
        thread = m_worker.Get();
        running = m_running;
    }
    if (!Win32::CUniqueHandle::IsValid(thread) ||
        Win32::WaitLettingSentMessagesThrough(thread, L"the exchange's worker to end", kLetGoMilliseconds)) {
        return;
    }
    // Only a worker still in its exchange can be held by the driver.
    if (!running) return;
    Win32::Trace(L"the last Release returns after %lu ms while the exchange's worker waits for the driver: the port closes "
          L"once the driver lets go",
          kLetGoMilliseconds);
}

// The thread owns the reference Start took for it on the state, and drops
// it before the module's.
DWORD WINAPI CExchangeControl::CState::Worker(void* state) {
    Plugin::CRefPtr<CState>::Adopt(static_cast<CState*>(state))->RunExchange();
    Win32::CModuleReference::EndThread(reinterpret_cast<const void*>(&Worker));
}

void CExchangeControl::CState::RunExchange() {
    bool opened = true;
    // Nothing may leave the thread: an exception there ends the host's
    // process. Whatever went wrong, the exchange ends as stopped.
    try {
        opened = RunTurns();
    } catch (...) {
        m_port.Close();
    }
    if (opened) {
        Finish(EventStopped, nullptr, 0);
    } else {
        Finish(EventLogText, Exchange::kOpenErrorText, Exchange::kOpenErrorLength);
    }
}

// False when the port could not be opened. The port is closed before the
// final event.
bool CExchangeControl::CState::RunTurns() {
    Exchange::Target target;
    Win32::CUniqueHandle replaced;
    {
        Win32::CLock hold(m_lock);
        target = std::move(m_target);
        replaced = std::move(m_replaced);
    }
    // The worker this one replaced is on its way out of its final event,
    // with nothing left to wait for: once this one has ended, so has it,
    // and the last Release, which waits for the newest, has waited for all.
    if (replaced.IsValid()) WaitForSingleObject(replaced.Get(), INFINITE);
    // Started from inside the previous final event, the exchange opens the
    // port only once that event has returned: a last Release made in it
    // must find the port closed.
    if (!m_shared.Sink().AwaitTurn()) return true;
    CExchange exchange(m_port, m_shared);
    if (!exchange.Begin(target)) return false;
    CTransmitter transmitter(m_port, m_shared);
    while (exchange.Listening()) {
        exchange.ReceiveTurn();
        // Never inside a read burst: received bytes wait in the driver while
        // a request is sent.
        transmitter.DrainQueue();
        if (exchange.IdleTimeUp()) break;
    }
    exchange.End(m_shared.Sink().Closed());
    return true;
}

void CExchangeControl::CState::Finish(DeviceEventCode code, const void* data, uint32_t count) {
    {
        Win32::CLock hold(m_lock);
        m_finishing = true;
        // This exchange is over: a stop from now on is for the one that the
        // final event may start.
        m_shared.ClearStop();
    }
    m_shared.Sink().OnEvent(code, data, count);
    Win32::CLock hold(m_lock);
    // Unless the host started the next exchange from inside the event.
    if (m_workerId == GetCurrentThreadId()) {
        m_running = false;
        m_finishing = false;
    }
}

}  // namespace Serial
