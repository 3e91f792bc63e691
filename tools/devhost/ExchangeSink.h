#pragma once
#include <windows.h>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>
#include "TraceReader.h"
#include "TransferRequest.h"
#include "plugin_api/HostInterfaces.h"
#include "win32/CriticalSection.h"
#include "win32/Event.h"

namespace DevHost {

enum class ExchangeEnd {
    Running,
    Stopped,        // EventStopped came: idle time, a stop, or a reason the trace did not give
    DeviceGone,     // EventStopped came after the trace said the device was gone
    PortNotOpened,  // the plug-in's own message came before EventStarted
};

struct RequestProgress {
    CTransferRequest* request;
    bool done;
};

struct ExchangeReport {
    ExchangeEnd end = ExchangeEnd::Running;
    bool started = false;
    uint64_t bytesIn = 0;
    uint64_t bytesOut = 0;
    uint64_t blocksIn = 0;
    ULONGLONG startedTick = 0;    // GetTickCount64 at EventStarted
    ULONGLONG lastBlockTick = 0;  // 0 until the first block
    std::wstring pluginMessage;   // the last text the plug-in sent that was not a copy of data
    std::wstring endReason;       // why it ended, in the user's words
    std::vector<RequestProgress> requests;
};

// Takes the plug-in's events on its worker thread and hands them on to
// callbacks, one event at a time and in order.
class CExchangeSink final : public IDeviceEventSink {
public:
    using ReceivedBytes = std::function<void(const uint8_t* data, size_t count, uint64_t streamOffset)>;
    using Notice = std::function<void(const std::wstring& text)>;
    using SentBytes = std::function<void(const uint8_t* data, size_t count)>;
    using TracedEnd = std::function<TracedEnding()>;

    CExchangeSink(ReceivedBytes received, Notice notice, SentBytes sent = {}, TracedEnd tracedEnd = {});

    // Lets the report follow a request that the host queues, and the request count what went out of it.
    void Track(CTransferRequest& request);

    void OnEvent(int32_t code, const void* data, uint32_t count) override;
    void OnRequestDone(ITransferRequest* request) override;

    // True once the exchange is over.
    bool WaitForEnd(DWORD milliseconds) const;
    ExchangeReport Report() const;

private:
    void Received(const uint8_t* data, uint32_t count);
    void LogText(const void* data, uint32_t count);
    void Sent(const void* data, uint32_t count);
    void End(ExchangeEnd end);

    ReceivedBytes m_received;
    Notice m_notice;
    SentBytes m_sent;
    TracedEnd m_tracedEnd;
    mutable Win32::CCriticalSection m_lock;
    Win32::CEvent m_ended{Win32::CEvent::Reset::Manual};
    ExchangeReport m_report;
    // Every received block comes again as log text right after it; that
    // copy must not be shown or stored twice.
    const void* m_copyExpected = nullptr;
    uint32_t m_copyCount = 0;
};

}  // namespace DevHost
