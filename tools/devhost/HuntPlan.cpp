#include "HuntPlan.h"
#include <windows.h>
#include <algorithm>

namespace DevHost {
namespace {

// What instruments are set to out of the box, the commonest first; the
// plug-in's other speeds follow in ascending order.
constexpr int32_t kCommonSpeeds[] = {9600, 4800, 19200, 38400, 115200, 57600, 2400, 1200};

struct Framing {
    int32_t dataBits;
    int32_t parity;
    int32_t stopBits;
};

constexpr Framing k8N1{8, NOPARITY, ONESTOPBIT};
constexpr Framing k7E1{7, EVENPARITY, ONESTOPBIT};
constexpr Framing k8E1{8, EVENPARITY, ONESTOPBIT};
constexpr Framing k7O1{7, ODDPARITY, ONESTOPBIT};
constexpr Framing k8O1{8, ODDPARITY, ONESTOPBIT};
constexpr Framing k8N2{8, NOPARITY, TWOSTOPBITS};
// The framings instruments use, the commonest first.
constexpr Framing kFramings[] = {k8N1, k7E1, k8E1, k7O1, k8O1, k8N2};

LineSetting At(int32_t baudRate, const Framing& framing) {
    return {baudRate, framing.dataBits, framing.parity, framing.stopBits};
}

bool Holds(const std::vector<int32_t>& values, int32_t value) {
    return std::find(values.begin(), values.end(), value) != values.end();
}

// What a try that reads at the instrument's speed points at.
std::vector<Framing> PointedAt(const LineSetting& tried, Verdict verdict) {
    switch (verdict) {
        case Verdict::SevenBitsEven: return {k7E1};
        case Verdict::SevenBitsOdd: return {k7O1};
        // Eight bits with a parity bit or a second stop bit read as 8N1 with
        // the data intact; eight bits read with seven keep the low seven.
        case Verdict::TextWithErrors: return tried.dataBits == 8 ? std::vector{k8E1, k8O1, k8N2} : std::vector{k8N1};
        default: return {};
    }
}

}  // namespace

std::wstring DescribeSetting(const LineSetting& setting) {
    static const wchar_t kParities[] = L"NOEMS";
    static const wchar_t* const kStopBits[] = {L"1", L"1.5", L"2"};
    const bool known = setting.parity >= 0 && setting.parity < 5 && setting.stopBits >= 0 && setting.stopBits < 3;
    if (!known) {
        return std::to_wstring(setting.baudRate) + L" " + std::to_wstring(setting.dataBits) + L" data bits, parity " +
               std::to_wstring(setting.parity) + L", stop bits " + std::to_wstring(setting.stopBits);
    }
    return std::to_wstring(setting.baudRate) + L" " + std::to_wstring(setting.dataBits) + kParities[setting.parity] +
           kStopBits[setting.stopBits];
}

CHuntPlan::CHuntPlan(const LineSetting& stored, const OfferedValues& offered, bool onlyStored) : m_offered(offered) {
    m_next.push_back(stored);
    if (onlyStored) return;
    std::vector<int32_t> speeds;
    for (const int32_t speed : kCommonSpeeds) {
        if (Holds(offered.baudRates, speed)) speeds.push_back(speed);
    }
    std::vector<int32_t> rest = offered.baudRates;
    std::sort(rest.begin(), rest.end());
    for (const int32_t speed : rest) {
        if (!Holds(speeds, speed)) speeds.push_back(speed);
    }
    const auto framing = std::find_if(std::begin(kFramings), std::end(kFramings),
                                      [&](const Framing& f) { return Offered(At(stored.baudRate, f)); });
    if (framing == std::end(kFramings)) return;
    for (const int32_t speed : speeds) {
        if (!Planned(At(speed, *framing))) m_next.push_back(At(speed, *framing));
    }
}

std::optional<LineSetting> CHuntPlan::Next() {
    if (m_next.empty()) return std::nullopt;
    m_tried.push_back(m_next.front());
    m_next.pop_front();
    return m_tried.back();
}

void CHuntPlan::Judged(const LineSetting& tried, Verdict verdict) {
    std::vector<Framing> first = PointedAt(tried, verdict);
    if (first.empty()) return;
    first.insert(first.end(), std::begin(kFramings), std::end(kFramings));
    std::vector<LineSetting> now;
    for (const Framing& framing : first) {
        const LineSetting setting = At(tried.baudRate, framing);
        const bool done = std::find(m_tried.begin(), m_tried.end(), setting) != m_tried.end();
        if (done || !Offered(setting) || std::find(now.begin(), now.end(), setting) != now.end()) continue;
        now.push_back(setting);
        m_next.erase(std::remove(m_next.begin(), m_next.end(), setting), m_next.end());
    }
    m_next.insert(m_next.begin(), now.begin(), now.end());
}

bool CHuntPlan::Offered(const LineSetting& setting) const {
    return Holds(m_offered.baudRates, setting.baudRate) && Holds(m_offered.dataBits, setting.dataBits) &&
           Holds(m_offered.parities, setting.parity) && Holds(m_offered.stopBits, setting.stopBits);
}

bool CHuntPlan::Planned(const LineSetting& setting) const {
    return std::find(m_next.begin(), m_next.end(), setting) != m_next.end() ||
           std::find(m_tried.begin(), m_tried.end(), setting) != m_tried.end();
}

}  // namespace DevHost
