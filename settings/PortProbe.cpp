#include "settings/PortProbe.h"
#include <cwchar>
#include "serial/DevicePath.h"
#include "win32/UniqueHandle.h"

namespace Settings {
namespace {

constexpr int kHighestPortNumber = 255;

class CWin32Ports final : public PortSystem {
public:
    // Each failed open of an absent name costs about a millisecond on
    // Windows; asking the device namespace first costs microseconds.
    bool MayExist(const wchar_t* name) override {
        wchar_t target[MAX_PATH];
        if (QueryDosDeviceW(name, target, MAX_PATH) != 0) return true;
        // A target too long for the buffer still means the name exists.
        return GetLastError() != ERROR_FILE_NOT_FOUND;
    }

    OpenResult TryOpen(const wchar_t* devicePath) override {
        Win32::UniqueHandle port(CreateFileW(devicePath, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        const DWORD error = GetLastError();
        return {port.IsValid(), port.IsValid() ? ERROR_SUCCESS : error};
    }
};

bool IsListed(const PortSystem::OpenResult& result, bool isConfiguredPort) {
    if (result.opened) return true;
    switch (result.error) {
    case ERROR_GEN_FAILURE:        // present but failing
    case ERROR_SHARING_VIOLATION:  // present and busy
        return true;
    case ERROR_ACCESS_DENIED:      // held open elsewhere
        return isConfiguredPort;
    default:
        return false;
    }
}

}  // namespace

PortSystem& Win32Ports() {
    static CWin32Ports ports;
    return ports;
}

void ProbePorts(PortSystem& system, const Plugin::WideString& configuredPort, OptionList& ports) {
    ports.clear();
    for (int number = 1; number <= kHighestPortNumber; ++number) {
        wchar_t name[8];
        std::swprintf(name, 8, L"COM%d", number);
        if (!system.MayExist(name)) continue;
        const PortSystem::OpenResult result = system.TryOpen(DevicePathFor(name).c_str());
        if (IsListed(result, configuredPort == name)) ports.emplace(number, name);
    }
}

}  // namespace Settings
