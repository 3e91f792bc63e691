#pragma once
// A machine's serial ports for the probe, as a script: which names the
// device namespace holds and what opening each answers. Like Windows, a
// name outside the namespace fails to open with ERROR_FILE_NOT_FOUND.
#include <cwchar>
#include <map>
#include <string>
#include <vector>
#include "settings/PortProbe.h"

namespace Fakes {

class ScriptedPortSystem : public Settings::PortSystem {
public:
    // By port number: the open result of a name the namespace holds.
    std::map<int, OpenResult> ports;
    // Device paths opened, in order.
    std::vector<std::wstring> opened;
    // Answers "may exist" for every name: the probe then opens all 255.
    bool withoutNamespaceShortcut = false;

    void Present(int number) { ports[number] = {true, ERROR_SUCCESS}; }
    void Failing(int number, DWORD error) { ports[number] = {false, error}; }

    bool MayExist(const wchar_t* name) override {
        return withoutNamespaceShortcut || ports.count(NumberOf(name)) != 0;
    }

    OpenResult TryOpen(const wchar_t* devicePath) override {
        opened.push_back(devicePath);
        auto port = ports.find(NumberOf(devicePath));
        return port == ports.end() ? OpenResult{false, ERROR_FILE_NOT_FOUND} : port->second;
    }

private:
    static int NumberOf(const wchar_t* nameOrPath) {
        const wchar_t* com = std::wcsstr(nameOrPath, L"COM");
        return com ? std::wcstol(com + 3, nullptr, 10) : 0;
    }
};

}  // namespace Fakes
