#pragma once
#include <windows.h>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>
#include "PluginTrace.h"
#include "plugin_api/HostInterfaces.h"
#include "win32/CriticalSection.h"
#include "win32/UniqueHandle.h"

namespace DevHost {

// Bytes to send to the instrument, from a file or from literal text. Must
// outlive the plug-in object, which may hold it until it is destroyed.
class CTransferRequest final : public ITransferRequest {
public:
    CTransferRequest(std::wstring label, std::vector<uint8_t> bytes)
        : m_label(std::move(label)), m_bytes(std::move(bytes)) {}

    void HostSlot1() override {}
    void HostSlot2() override {}
    int32_t GetKind() override { return kSendBytesRequestKind; }
    const uint8_t* GetData() override { return m_bytes.data(); }
    int32_t GetSize() override { return static_cast<int32_t>(m_bytes.size()); }

    const std::wstring& Label() const { return m_label; }
    size_t Size() const { return m_bytes.size(); }
    // Whether a sent chunk's pointer lies inside this request's bytes.
    bool Holds(const void* chunk) const;

private:
    std::wstring m_label;
    std::vector<uint8_t> m_bytes;
};

// The whole file; files of 2 GiB and more are refused (the size is 32-bit).
bool ReadTransferFile(const std::wstring& path, std::vector<uint8_t>& bytes, std::wstring& error);

// --say text as UTF-8 bytes, with the escapes \r \n \t \\ and \xHH, since a
// command line cannot carry a line end reliably.
bool DecodeSayText(std::wstring_view text, std::vector<uint8_t>& bytes, std::wstring& error);

// A line typed in `term` as the bytes to send: UTF-8 text or, with hex,
// two-digit hex bytes that spaces may separate ("24 50 0d0a"); then the
// line ending. A bad hex line gives false with the reason, and no bytes.
bool EncodeTypedLine(std::wstring_view line, bool hex, const std::string& lineEnding, std::vector<uint8_t>& bytes,
                     std::wstring& error);

enum class ExchangeEnd {
    Running,
    Stopped,        // EventStopped came: idle time, a stop, or a reason the trace did not give
    DeviceGone,     // EventStopped came after the trace said the device was gone
    PortNotOpened,  // the plug-in's own message came before EventStarted
};

struct RequestProgress {
    const CTransferRequest* request;
    uint64_t bytesSent;
    bool done;
};

// What the exchange has done so far.
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
    // What the plug-in's trace said of the exchange's end.
    using TracedEnd = std::function<TracedEnding()>;

    // sent may be empty: most hosts need only the counts of the report.
    CExchangeSink(ReceivedBytes received, Notice notice, SentBytes sent = {}, TracedEnd tracedEnd = {});

    // Lets the report follow a request that the host queues.
    void Track(const CTransferRequest& request);

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
    mutable Win32::CriticalSection m_lock;
    Win32::UniqueHandle m_ended;
    ExchangeReport m_report;
    // Every received block comes again as log text right after it; that
    // copy must not be shown or stored twice.
    const void* m_copyExpected = nullptr;
    uint32_t m_copyCount = 0;
};

}  // namespace DevHost
