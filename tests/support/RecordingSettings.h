#pragma once
// Host settings objects for tests: they answer from a script and record
// every call as one line of text, so a test can compare whole sequences.
#include <map>
#include <optional>
#include <string>
#include <vector>
#include "plugin_api/HostInterfaces.h"

namespace Fakes {

class CRecordingSettingsReader : public ISettingsReader {
public:
    // Stored values by key; a key that is absent answers its default.
    std::map<std::wstring, int32_t> ints;
    // nullopt stored under a key makes ReadString answer a null BSTR.
    std::map<std::wstring, std::optional<std::wstring>> strings;
    std::vector<std::wstring> calls;

    BSTR ReadString(const wchar_t* key, const wchar_t* defaultValue) override {
        calls.push_back(L"ReadString " + std::wstring(key) + L" " + defaultValue);
        auto stored = strings.find(key);
        if (stored == strings.end()) return SysAllocString(defaultValue);
        return stored->second ? SysAllocString(stored->second->c_str()) : nullptr;
    }

    int32_t ReadInt(const wchar_t* key, int32_t defaultValue) override {
        calls.push_back(L"ReadInt " + std::wstring(key) + L" " + std::to_wstring(defaultValue));
        auto stored = ints.find(key);
        return stored == ints.end() ? defaultValue : stored->second;
    }
};

class CRecordingSettingsWriter : public ISettingsWriter {
public:
    std::vector<std::wstring> calls;

    void WriteString(const wchar_t* key, const wchar_t* value) override {
        calls.push_back(L"WriteString " + std::wstring(key) + L" " + value);
    }
    void WriteInt(const wchar_t* key, int32_t value) override {
        calls.push_back(L"WriteInt " + std::wstring(key) + L" " + std::to_wstring(value));
    }
};

}  // namespace Fakes
