// devhost hunt: finds the speed and framing an instrument sends at by trying
// them through the loaded plug-in, one exchange each, so that what it finds
// is what the plug-in does in the application.
#include <algorithm>
#include <cwchar>
#include <deque>
#include <memory>
#include <mutex>
#include <utility>
#include "Commands.h"
#include "ConsoleOutput.h"
#include "CtrlC.h"
#include "ExchangeSink.h"
#include "HuntPlan.h"
#include "MovedPort.h"
#include "PluginLoader.h"
#include "PortDevice.h"
#include "PropertyView.h"
#include "SettingsFile.h"
#include "TraceReader.h"
#include "TracedEnd.h"
#include "TransferRequest.h"
#include "plugin_api/IPropertyListViewController.h"
#include "plugin_api/SharedConstants.h"

namespace DevHost {
namespace {

// Drivers and adapters may hand over garbage made by the open itself, and
// some need this long to settle after it (100 ms was too short for PL2303).
constexpr ULONGLONG kSettleMilliseconds = 200;
// Long enough to judge a receiver that sends once a second, and twice the
// longest pause between blocks seen so far, within reason.
constexpr ULONGLONG kShortestListenMilliseconds = 3000;
constexpr ULONGLONG kLongestListenMilliseconds = 10000;
// A wrong speed garbles, it does not silence: this many silent tries say
// the instrument does not send by itself.
constexpr int kSilentTries = 4;
// The hunt ends each try itself; the plug-in must not end it first.
constexpr int32_t kTryWaitSeconds = 3600;
constexpr int kStartAttempts = 200;
constexpr DWORD kStartRetryMilliseconds = 10;
constexpr DWORD kPollMilliseconds = 50;
constexpr DWORD kStopWaitMilliseconds = 10000;

// The settings of one try, given to the plug-in from memory: the file is not touched.
class CTrySettings final : public ISettingsReader {
public:
    explicit CTrySettings(const StoredSettings& settings) : m_settings(settings) {}
    BSTR ReadString(const wchar_t* /*key*/, const wchar_t* /*defaultValue*/) override {
        return SysAllocString(m_settings.port.c_str());
    }
    int32_t ReadInt(const wchar_t* key, int32_t defaultValue) override {
        const std::pair<const wchar_t*, int32_t> values[] = {
            {Shared::kBaudRate.key, m_settings.baudRate},  {Shared::kParity.key, m_settings.parity},
            {Shared::kDataBits.key, m_settings.dataBits},  {Shared::kStopBits.key, m_settings.stopBits},
            {Shared::kFlowControl.key, m_settings.flowControl}, {Shared::kWaitTime.key, m_settings.waitSeconds},
        };
        for (const auto& [name, value] : values) {
            if (key && std::wcscmp(key, name) == 0) return value;
        }
        return defaultValue;
    }

private:
    const StoredSettings m_settings;
};

// What one exchange brought, block by block with their times, and the line
// errors the trace counted at its end.
class CTryView final : public CExchangeView {
public:
    explicit CTryView(const StoredSettings& settings) : m_settings(settings) {}

    void Received(const uint8_t* data, size_t count) override {
        std::lock_guard<std::mutex> hold(m_lock);
        m_blocks.emplace_back(GetTickCount64(), std::vector<uint8_t>(data, data + count));
    }
    TracedEnding TracedEnd() override {
        TracedEnding ending = DevHost::TracedEnd(m_settings);
        std::lock_guard<std::mutex> hold(m_lock);
        m_ending = ending;
        return ending;
    }

    // The bytes that came from `since` on, and the longest pause between their blocks.
    std::vector<uint8_t> BytesSince(ULONGLONG since, ULONGLONG& longestGapMilliseconds) const {
        std::lock_guard<std::mutex> hold(m_lock);
        std::vector<uint8_t> bytes;
        ULONGLONG previous = 0;
        for (const auto& [tick, block] : m_blocks) {
            if (tick < since) continue;
            if (previous != 0) longestGapMilliseconds = std::max(longestGapMilliseconds, tick - previous);
            previous = tick;
            bytes.insert(bytes.end(), block.begin(), block.end());
        }
        return bytes;
    }
    TracedEnding Ending() const {
        std::lock_guard<std::mutex> hold(m_lock);
        return m_ending;
    }

private:
    const StoredSettings m_settings;
    mutable std::mutex m_lock;  // the plug-in's worker adds what it receives
    std::vector<std::pair<ULONGLONG, std::vector<uint8_t>>> m_blocks;  // each with the tick it came at
    TracedEnding m_ending;
};

std::wstring SetArguments(const LineSetting& setting) {
    static const wchar_t* const kParities[] = {L"none", L"odd", L"even", L"mark", L"space"};
    static const wchar_t* const kStopBits[] = {L"1", L"1.5", L"2"};
    return L"baud=" + std::to_wstring(setting.baudRate) + L" parity=" + kParities[setting.parity] +
           L" data=" + std::to_wstring(setting.dataBits) + L" stop=" + kStopBits[setting.stopBits];
}

OfferedValues OfferedBy(Plugin::IDevImportPlugin& plugin) {
    CPropertyView view;
    plugin.GetPropertyListController()->FillView(&view);
    OfferedValues offered;
    for (const OfferedProperty& property : view.Offered()) {
        if (property.kind != OfferedProperty::Kind::Choice) continue;
        std::vector<int32_t>* values = property.id == Shared::kBaudRate.propertyId   ? &offered.baudRates
                                       : property.id == Shared::kDataBits.propertyId ? &offered.dataBits
                                       : property.id == Shared::kParity.propertyId   ? &offered.parities
                                       : property.id == Shared::kStopBits.propertyId ? &offered.stopBits
                                                                                     : nullptr;
        for (const Choice& choice : property.choices) {
            if (values) values->push_back(choice.value);
        }
    }
    return offered;
}

class CHunt {
public:
    CHunt(const CommandLine& line, StoredSettings stored, std::vector<uint8_t> say)
        : m_line(line), m_stored(std::move(stored)), m_say(std::move(say)) {}

    int Run() {
        m_plugin = OpenPluginWithSettings(m_line);
        if (!m_plugin) return ExitPluginFailed;
        const bool bluetooth =
            _wcsnicmp(FindPortDevice(ListPortDevices(), m_stored.port).instanceId.c_str(), L"BTHENUM\\", 8) == 0;
        const LineSetting stored{m_stored.baudRate, m_stored.dataBits, m_stored.parity, m_stored.stopBits};
        CHuntPlan plan(stored, OfferedBy(*m_plugin), bluetooth);
        if (bluetooth) {
            Print(stdout, m_stored.port + L" is a Bluetooth port: the speed and framing set on it do not reach the "
                                          L"instrument, so only the stored setting is tried\n");
        }
        if (!m_say.empty()) {
            Complain(L"warning: --say goes out at every try to whatever listens on " + m_stored.port);
        }
        if (!CTraceReader::Current()) {
            Complain(L"warning: the plug-in's trace cannot be read, so line errors are not known: settings are "
                     L"judged by what the bytes are alone");
        }
        Print(stdout, L"hunting on " + m_stored.port + L" through the plug-in: each try listens " +
                          Seconds(ListenMilliseconds()) + L" after " + Seconds(kSettleMilliseconds) +
                          L" of settling; Ctrl+C ends the hunt\n" +
                          L"  setting         bytes  line errors   text  verdict\n");
        const CCtrlCWatch ctrlC;
        return Hunt(plan);
    }

private:
    enum class Outcome { Judged, NotOpened, Gone, Interrupted, Refused };

    int Hunt(CHuntPlan& plan) {
        int silent = 0;
        std::vector<std::pair<LineSetting, Verdict>> seen;
        while (const std::optional<LineSetting> setting = plan.Next()) {
            TryEvidence evidence;
            const Outcome outcome = Try(*setting, evidence);
            if (outcome == Outcome::Refused) return ExitPluginFailed;
            if (outcome == Outcome::NotOpened) {
                Complain(WhyPortNotOpened(m_stored) + L"; the plug-in says: " + m_pluginMessage);
                Print(stderr, WhereThePortWent(m_stored.port, PortsOffered(*m_plugin), ListPortDevices()));
                return ExitPortNotOpened;
            }
            if (outcome == Outcome::Gone) {
                Complain(L"the exchange at " + DescribeSetting(*setting) + L" ended: " + m_endReason);
                return ExitDeviceGone;
            }
            if (outcome == Outcome::Interrupted) {
                return NothingFound(L"stopped by Ctrl+C after " + Counted(seen.size(), L"setting") +
                                    L" tried, the port closed");
            }
            const TryScore score = ScoreTry(evidence);
            PrintRow(*setting, score, evidence.errorsKnown);
            seen.emplace_back(*setting, score.verdict);
            if (score.verdict == Verdict::Convincing) return Found(*setting);
            silent = score.verdict == Verdict::Silent ? silent + 1 : -1;
            if (silent >= kSilentTries) return NothingFound(SilentWhy(seen.size()));
            plan.Judged(*setting, score.verdict);
        }
        return NothingFound(UnconvincedWhy(seen));
    }

    Outcome Try(const LineSetting& setting, TryEvidence& evidence) {
        StoredSettings trial = m_stored;
        trial.baudRate = setting.baudRate;
        trial.dataBits = setting.dataBits;
        trial.parity = setting.parity;
        trial.stopBits = setting.stopBits;
        trial.waitSeconds = kTryWaitSeconds;
        CTrySettings settings(trial);
        m_plugin->LoadSettings(&settings);
        auto view = std::make_unique<CTryView>(trial);
        auto sink = std::make_unique<CExchangeSink>(*view);
        // Once SetEventSink returns the plug-in no longer calls the old sink.
        m_plugin->SetEventSink(sink.get());
        m_sink = std::move(sink);
        m_view = std::move(view);
        if (!Start()) return Outcome::Refused;
        while (!m_sink->WaitForEnd(kPollMilliseconds) && !m_sink->Report().started && !CCtrlCWatch::Asked()) {
        }
        const ExchangeReport opened = m_sink->Report();
        if (opened.end == ExchangeEnd::PortNotOpened) {
            m_pluginMessage = opened.pluginMessage;
            return Outcome::NotOpened;
        }
        const ULONGLONG settled = opened.startedTick + kSettleMilliseconds;
        const ULONGLONG listenMilliseconds = ListenMilliseconds();
        bool asked = m_say.empty();
        while (!CCtrlCWatch::Asked() && !m_sink->WaitForEnd(kPollMilliseconds) &&
               GetTickCount64() < settled + listenMilliseconds) {
            // Sent once the port settled, so that the answer is not taken for the open's garbage.
            if (!asked && GetTickCount64() >= settled) {
                asked = true;
                m_requests.emplace_back(L"--say", m_say);
                m_plugin->QueueTransferRequest(&m_requests.back());
            }
        }
        m_plugin->StopExchange();
        m_sink->WaitForEnd(kStopWaitMilliseconds);
        const ExchangeReport report = m_sink->Report();
        m_endReason = report.endReason;
        if (report.end == ExchangeEnd::DeviceGone) return Outcome::Gone;
        if (CCtrlCWatch::Asked()) return Outcome::Interrupted;
        evidence.bytes = m_view->BytesSince(settled, m_longestGapMilliseconds);
        const LineErrorTotals totals = m_view->Ending().totals;
        evidence.garbledReports = static_cast<unsigned>(totals.framing + totals.parity + totals.breaks);
        evidence.errorsKnown = CTraceReader::Current() != nullptr;
        evidence.dataBits = setting.dataBits;
        return Outcome::Judged;
    }

    // The plug-in takes a start only once the last exchange's final event has returned on its worker.
    bool Start() {
        for (int attempt = 0; attempt < kStartAttempts; ++attempt) {
            if (m_plugin->StartExchange()) return true;
            Sleep(kStartRetryMilliseconds);
        }
        Complain(L"the plug-in refused to start an exchange");
        return false;
    }

    ULONGLONG ListenMilliseconds() const {
        return std::clamp(2 * m_longestGapMilliseconds, kShortestListenMilliseconds, kLongestListenMilliseconds);
    }

    static std::wstring Seconds(ULONGLONG ms) {
        wchar_t text[32];
        std::swprintf(text, 32, L"%.1f s", ms / 1000.0);
        return text;
    }

    static void PrintRow(const LineSetting& setting, const TryScore& score, bool errorsKnown) {
        wchar_t row[96];
        std::swprintf(row, 96, L"  %-14ls %6zu  %11ls  %4.0f%%  ", DescribeSetting(setting).c_str(), score.bytes,
                      errorsKnown ? std::to_wstring(score.lineErrors).c_str() : L"?", 100.0 * score.textShare);
        Print(stdout, row + DescribeVerdict(score) + L"\n");
    }

    int Found(const LineSetting& setting) {
        const std::wstring filed = ReadStoredSettings(m_line.settingsPath).port;
        const std::wstring port =
            _wcsicmp(filed.c_str(), m_stored.port.c_str()) == 0 ? L"" : L"port=" + m_stored.port + L" ";
        const std::wstring arguments = port + SetArguments(setting);
        Print(stdout, L"found: " + DescribeSetting(setting) + L"\nstore it with: devhost set " + arguments + L"\n");
        if (!m_line.Has(L"--save")) return ExitOk;
        CommandLine set = m_line;
        set.command = L"set";
        set.options.clear();
        set.arguments.clear();
        for (size_t at = 0; at < arguments.size();) {
            const size_t end = std::min(arguments.find(L' ', at), arguments.size());
            set.arguments.push_back(arguments.substr(at, end - at));
            at = end + 1;
        }
        return RunSet(set);
    }

    int NothingFound(const std::wstring& why) const {
        Print(stdout, L"nothing convincing: " + why + L"\n");
        return ExitNothingFound;
    }

    std::wstring SilentWhy(size_t tries) const {
        return L"no byte came at " + Counted(tries, L"setting") + L". A wrong speed garbles, it does not silence: the "
               L"instrument may wait to be asked" +
               (m_say.empty() ? L" (--say sends it a line at each try)" : L", and did not answer --say") +
               L", be switched off, or be on another port than " + m_stored.port + L" (devhost ports)";
    }

    static std::wstring UnconvincedWhy(const std::vector<std::pair<LineSetting, Verdict>>& seen) {
        std::wstring possible;
        for (const auto& [setting, verdict] : seen) {
            if (verdict == Verdict::CleanBinary) {
                possible += (possible.empty() ? L"" : L", ") + DescribeSetting(setting);
            }
        }
        if (!possible.empty()) {
            return L"bytes without a line error, in a format devhost does not know, came at " + possible +
                   L"; devhost receive --hex at that setting shows them";
        }
        return L"every setting tried brought garbage or too little to judge: the instrument may send at a speed or "
               L"framing the plug-in does not offer, or the line garbles (devhost doctor tells of the port)";
    }

    const CommandLine& m_line;
    const StoredSettings m_stored;  // the port hunted on, with the stored flow control
    const std::vector<uint8_t> m_say;
    ULONGLONG m_longestGapMilliseconds = 0;  // between blocks, over every try so far
    std::wstring m_pluginMessage;
    std::wstring m_endReason;
    std::deque<CTransferRequest> m_requests;
    std::unique_ptr<CTryView> m_view;
    std::unique_ptr<CExchangeSink> m_sink;
    // Last, so that it goes first: its worker may use the sink and the requests until then.
    PluginPtr m_plugin;
};

}  // namespace

int RunHunt(const CommandLine& line) {
    if (!TakesAll(line, 1)) return ExitUsage;
    StoredSettings stored = ReadStoredSettings(line.settingsPath);
    if (!line.arguments.empty()) stored.port = line.arguments.front();
    std::vector<uint8_t> say;
    std::wstring error;
    if (line.Has(L"--say") && !DecodeSayText(line.Value(L"--say"), say, error)) {
        Complain(error);
        return ExitUsage;
    }
    return CHunt(line, std::move(stored), std::move(say)).Run();
}

}  // namespace DevHost
