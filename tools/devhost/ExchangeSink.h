#pragma once
#include <windows.h>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include "TracedEnd.h"
#include "plugin_api/HostInterfaces.h"
#include "win32/Event.h"

namespace DevHost {

enum class ExchangeEnd {
    Running,
    Stopped,        // EventStopped came: idle time, a stop, or a reason the trace did not give
    DeviceGone,     // EventStopped came after the trace said the device was gone
    PortNotOpened,  // the plug-in's own message came before EventStarted
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
};

// Where an exchange's events go besides its report; this one drops them, for
// a host that wants the report alone.
class CExchangeView {
public:
    virtual ~CExchangeView() = default;
    virtual void Received(const uint8_t* /*data*/, size_t /*count*/) {}
    virtual void Sent(const uint8_t* /*data*/, size_t /*count*/) {}
    virtual void RequestDone(ITransferRequest* /*request*/) {}
    virtual void Notice(const std::wstring& /*text*/) {}
    virtual TracedEnding TracedEnd() { return {}; }
};

// Takes the plug-in's events on its worker thread, which never makes two
// calls at once, and hands them to the view in order.
class CExchangeSink final : public IDeviceEventSink {
public:
    explicit CExchangeSink(CExchangeView& view = s_noView) : m_view(view) {}

    void OnEvent(int32_t code, const void* data, uint32_t count) override;
    void OnRequestDone(ITransferRequest* request) override { m_view.RequestDone(request); }

    bool WaitForEnd(DWORD waitMilliseconds) const {
        return WaitForSingleObject(m_ended.Get(), waitMilliseconds) == WAIT_OBJECT_0;
    }
    ExchangeReport Report() const {
        std::lock_guard<std::mutex> hold(m_lock);
        return m_report;
    }

private:
    static inline CExchangeView s_noView;

    void End(ExchangeEnd end);

    CExchangeView& m_view;
    mutable std::mutex m_lock;
    Win32::CEvent m_ended{Win32::CEvent::Reset::Manual};
    ExchangeReport m_report;
    // Every received block comes again as log text right after it; that
    // copy must not be shown or stored twice.
    std::string_view m_copyExpected;
};

}  // namespace DevHost
