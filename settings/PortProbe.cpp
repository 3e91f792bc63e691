#include "settings/PortProbe.h"
#include <cwchar>
#include <cwctype>

namespace Settings {
namespace {

constexpr int kHighestPortNumber = 255;

// The number of a name that opens as \\.\COM<n>, or 0. Device names are
// case-insensitive, so "com4" is COM4; "COM04" is another name altogether.
int PortNumber(std::wstring_view name) {
    if (name.size() < 4 || name.size() > 6) return 0;
    if (std::towupper(name[0]) != L'C' || std::towupper(name[1]) != L'O' || std::towupper(name[2]) != L'M') return 0;
    if (name[3] == L'0') return 0;
    int number = 0;
    for (wchar_t digit : name.substr(3)) {
        if (digit < L'0' || digit > L'9') return 0;
        number = number * 10 + (digit - L'0');
    }
    return number <= kHighestPortNumber ? number : 0;
}

class CPortsFound final : public IPortSystem::INames {
public:
    explicit CPortsFound(OptionList& ports) : m_ports(ports) {}

    void Add(std::wstring_view name) override {
        const int number = PortNumber(name);
        if (number == 0 || m_ports.count(number) != 0) return;
        wchar_t shown[8];
        std::swprintf(shown, 8, L"COM%d", number);
        m_ports.emplace(number, shown);
    }

private:
    OptionList& m_ports;
};

}  // namespace

void ListPorts(IPortSystem& system, OptionList& ports) {
    ports.clear();
    CPortsFound found(ports);
    for (IPortSystem::Source source : {IPortSystem::Source::DeviceMap, IPortSystem::Source::DeviceNamespace,
                                      IPortSystem::Source::PortsClass, IPortSystem::Source::ModemClass}) {
        system.Read(source, found);
    }
}

}  // namespace Settings
