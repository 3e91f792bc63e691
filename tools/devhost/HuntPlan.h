#pragma once
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>
#include "HuntScore.h"

namespace DevHost {

// A speed and framing as the plug-in stores them: parity and stop bits are
// Win32's codes (NOPARITY, ONESTOPBIT).
struct LineSetting {
    int32_t baudRate;
    int32_t dataBits;
    int32_t parity;
    int32_t stopBits;

    bool operator==(const LineSetting& other) const {
        return baudRate == other.baudRate && dataBits == other.dataBits && parity == other.parity &&
               stopBits == other.stopBits;
    }
};

// "38400 8N1", "4800 7E1"
std::wstring DescribeSetting(const LineSetting& setting);

// The values the plug-in's list offers for each part of a setting.
struct OfferedValues {
    std::vector<int32_t> baudRates;
    std::vector<int32_t> dataBits;
    std::vector<int32_t> parities;
    std::vector<int32_t> stopBits;
};

// The order a hunt tries settings in: the stored one, then each offered
// speed, the commonest first, at 8N1. At the instrument's speed every
// framing reads as text of a telling kind at 8N1 (intact with line errors,
// or with a parity pattern in the 8th bit), so the other framings are tried
// at a speed once its 8N1 try points at them, the framing it points at first.
class CHuntPlan {
public:
    // onlyStored: a port whose speed does not matter (Bluetooth).
    CHuntPlan(const LineSetting& stored, const OfferedValues& offered, bool onlyStored);

    std::optional<LineSetting> Next();
    void Judged(const LineSetting& tried, Verdict verdict);

private:
    bool Offered(const LineSetting& setting) const;
    bool Planned(const LineSetting& setting) const;

    OfferedValues m_offered;
    std::deque<LineSetting> m_next;
    std::vector<LineSetting> m_tried;
};

}  // namespace DevHost
