#include "ExchangeSink.h"
#include "ConsoleOutput.h"
#include "PluginTrace.h"

namespace DevHost {
namespace {

int HexDigit(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;
}

void AppendText(std::vector<uint8_t>& bytes, std::wstring_view text) {
    std::string utf8 = ToUtf8(text);
    bytes.insert(bytes.end(), utf8.begin(), utf8.end());
}

bool DecodeHexLine(std::wstring_view line, std::vector<uint8_t>& bytes, std::wstring& error) {
    std::wstring digits;
    for (wchar_t c : line) {
        if (c == L' ' || c == L'\t') continue;
        if (HexDigit(c) < 0) {
            error = L"\"" + std::wstring(1, c) + L"\" is not a hex digit";
            return false;
        }
        digits += c;
    }
    if (digits.size() % 2 != 0) {
        error = L"an odd number of hex digits; each byte takes two";
        return false;
    }
    for (size_t i = 0; i < digits.size(); i += 2) {
        bytes.push_back(static_cast<uint8_t>(HexDigit(digits[i]) * 16 + HexDigit(digits[i + 1])));
    }
    return true;
}

}  // namespace

bool CTransferRequest::Holds(const void* chunk) const {
    auto* byte = static_cast<const uint8_t*>(chunk);
    return !m_bytes.empty() && byte >= m_bytes.data() && byte < m_bytes.data() + m_bytes.size();
}

bool ReadTransferFile(const std::wstring& path, std::vector<uint8_t>& bytes, std::wstring& error) {
    Win32::UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file.IsValid() || !GetFileSizeEx(file.Get(), &size)) {
        error = L"cannot read " + path + L" (error " + std::to_wstring(GetLastError()) + L")";
        return false;
    }
    if (size.QuadPart > INT32_MAX) {
        error = path + L" is too large to send in one request (2 GiB at most)";
        return false;
    }
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    if (!bytes.empty() && (!ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) ||
                           read != bytes.size())) {
        error = L"cannot read " + path + L" whole";
        return false;
    }
    return true;
}

bool DecodeSayText(std::wstring_view text, std::vector<uint8_t>& bytes, std::wstring& error) {
    bytes.clear();
    size_t plainStart = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != L'\\') continue;
        AppendText(bytes, text.substr(plainStart, i - plainStart));
        wchar_t escape = i + 1 < text.size() ? text[i + 1] : L'\0';
        if (escape == L'r') bytes.push_back('\r');
        else if (escape == L'n') bytes.push_back('\n');
        else if (escape == L't') bytes.push_back('\t');
        else if (escape == L'\\') bytes.push_back('\\');
        else if (escape == L'x' && i + 3 < text.size() && HexDigit(text[i + 2]) >= 0 && HexDigit(text[i + 3]) >= 0) {
            bytes.push_back(static_cast<uint8_t>(HexDigit(text[i + 2]) * 16 + HexDigit(text[i + 3])));
            i += 2;
        } else {
            error = L"unknown escape in \"" + std::wstring(text) + L"\"; use \\r \\n \\t \\\\ or \\xHH";
            return false;
        }
        ++i;
        plainStart = i + 1;
    }
    AppendText(bytes, text.substr(plainStart));
    return true;
}

bool EncodeTypedLine(std::wstring_view line, bool hex, const std::string& lineEnding, std::vector<uint8_t>& bytes,
                     std::wstring& error) {
    bytes.clear();
    if (hex) {
        if (!DecodeHexLine(line, bytes, error)) {
            bytes.clear();
            return false;
        }
    } else {
        AppendText(bytes, line);
    }
    bytes.insert(bytes.end(), lineEnding.begin(), lineEnding.end());
    return true;
}

CExchangeSink::CExchangeSink(ReceivedBytes received, Notice notice, SentBytes sent, TracedEnd tracedEnd)
    : m_received(std::move(received)),
      m_notice(std::move(notice)),
      m_sent(std::move(sent)),
      m_tracedEnd(std::move(tracedEnd)),
      m_ended(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

void CExchangeSink::Track(const CTransferRequest& request) {
    Win32::Lock lock(m_lock);
    m_report.requests.push_back({&request, 0, false});
}

void CExchangeSink::OnEvent(int32_t code, const void* data, uint32_t count) {
    Win32::Lock lock(m_lock);
    if (code != EventLogText) m_copyExpected = nullptr;
    switch (code) {
        case EventStarted:
            m_report.started = true;
            m_report.startedTick = GetTickCount64();
            m_notice(L"exchange started");
            break;
        case EventDataReceived: Received(static_cast<const uint8_t*>(data), count); break;
        case EventLogText: LogText(data, count); break;
        case EventDataSent: Sent(data, count); break;
        case EventStopped: End(ExchangeEnd::Stopped); break;
        default: m_notice(L"unknown event " + std::to_wstring(code)); break;
    }
}

void CExchangeSink::Received(const uint8_t* data, uint32_t count) {
    uint64_t offset = m_report.bytesIn;
    m_report.bytesIn += count;
    ++m_report.blocksIn;
    m_report.lastBlockTick = GetTickCount64();
    m_copyExpected = data;
    m_copyCount = count;
    if (data && count > 0) m_received(data, count, offset);
}

void CExchangeSink::LogText(const void* data, uint32_t count) {
    if (m_copyExpected && data == m_copyExpected && count == m_copyCount) {
        m_copyExpected = nullptr;
        return;
    }
    m_copyExpected = nullptr;
    std::wstring text = data ? FromUtf8(std::string_view(static_cast<const char*>(data), count)) : L"";
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r')) text.pop_back();
    m_report.pluginMessage = text;
    m_notice(L"plug-in: " + text);
    // The plug-in ends without EventStopped when it cannot open the port;
    // its message before EventStarted is that end.
    if (!m_report.started) End(ExchangeEnd::PortNotOpened);
}

void CExchangeSink::Sent(const void* data, uint32_t count) {
    m_report.bytesOut += count;
    for (RequestProgress& progress : m_report.requests) {
        if (progress.request->Holds(data)) progress.bytesSent += count;
    }
    if (m_sent && data && count > 0) m_sent(static_cast<const uint8_t*>(data), count);
}

void CExchangeSink::OnRequestDone(ITransferRequest* request) {
    Win32::Lock lock(m_lock);
    for (RequestProgress& progress : m_report.requests) {
        if (progress.request != request) continue;
        progress.done = true;
        m_notice(L"sent " + progress.request->Label() + L": " + std::to_wstring(progress.bytesSent) + L" of " +
                 std::to_wstring(progress.request->Size()) + L" bytes");
    }
}

void CExchangeSink::End(ExchangeEnd end) {
    if (m_report.end != ExchangeEnd::Running) return;
    if (end == ExchangeEnd::Stopped) {
        const TracedEnding traced = m_tracedEnd ? m_tracedEnd() : TracedEnding{};
        if (SaysDeviceGone(traced.said)) end = ExchangeEnd::DeviceGone;
        m_report.endReason = ExplainEnd(traced.said);
        m_notice(L"exchange ended: " + m_report.endReason);
        if (!traced.lineErrors.empty()) m_notice(traced.lineErrors);
    }
    m_report.end = end;
    SetEvent(m_ended.Get());
}

bool CExchangeSink::WaitForEnd(DWORD milliseconds) const {
    return WaitForSingleObject(m_ended.Get(), milliseconds) == WAIT_OBJECT_0;
}

ExchangeReport CExchangeSink::Report() const {
    Win32::Lock lock(m_lock);
    return m_report;
}

}  // namespace DevHost
