#pragma once
// A machine's serial ports as a script: what each source names, spelled as
// it gives them.
#include <map>
#include <string>
#include <vector>
#include "settings/PortProbe.h"

namespace Fakes {

class CScriptedPortSystem : public Settings::IPortSystem {
public:
    // A source not here cannot be read.
    std::map<Source, std::vector<std::wstring>> names;

    // Named in the device map, as most ports are.
    void Present(int number) { names[Source::DeviceMap].push_back(L"COM" + std::to_wstring(number)); }

    void Read(Source source, INames& found) override {
        auto given = names.find(source);
        if (given == names.end()) return;
        for (const std::wstring& name : given->second) found.Add(name);
    }
};

}  // namespace Fakes
