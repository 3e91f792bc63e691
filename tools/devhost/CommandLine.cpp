#include "CommandLine.h"
#include <windows.h>
#include <algorithm>
#include <cwchar>
#include <regex>
#include "ConsoleOutput.h"

namespace DevHost {
namespace {

enum class Takes { Nothing, Text, Path };

struct OptionSpec {
    const wchar_t* name;
    const wchar_t* commands;  // the commands that take it, between blanks; null for every command
    Takes takes;
};

constexpr OptionSpec kOptions[] = {
    {L"--dll", nullptr, Takes::Text},            {L"--settings", nullptr, Takes::Path},
    {L"--out", L" receive ", Takes::Path},       {L"--capture", L" receive term ", Takes::Path},
    {L"--send", L" receive ", Takes::Path},      {L"--say", L" receive hunt ", Takes::Text},
    {L"--text", L" receive ", Takes::Nothing},   {L"--hex", L" receive term ", Takes::Nothing},
    {L"--eol", L" term ", Takes::Text},          {L"--timestamps", L" term ", Takes::Nothing},
    {L"--echo", L" term ", Takes::Nothing},      {L"--restart", L" term ", Takes::Nothing},
    {L"--save", L" hunt ", Takes::Nothing},
    {L"--plug", L" ports ", Takes::Nothing},
};

const OptionSpec* FindOption(const std::wstring& name) {
    const auto found =
        std::find_if(std::begin(kOptions), std::end(kOptions), [&](const OptionSpec& o) { return name == o.name; });
    return found == std::end(kOptions) ? nullptr : found;
}

// Windows opens these names as devices with any extension, in any folder:
// "con.out" is the console. Only a name with an extension surely meant a file.
void WarnIfDeviceName(const std::wstring& path) {
    static const std::wregex kDevice(L"(CON|PRN|AUX|NUL|COM[1-9]|LPT[1-9])\\..*", std::regex::icase);
    const std::wstring name = path.substr(path.find_last_of(L"\\/:") + 1);  // npos + 1: the whole path
    if (!std::regex_match(name, kDevice)) return;
    Complain(L"warning: Windows takes \"" + path + L"\" for the device " + name.substr(0, name.find(L'.')) +
             L", not a file (CON, PRN, AUX, NUL, COM1-COM9 and LPT1-LPT9 are devices whatever their extension)");
}

}  // namespace

std::wstring AbsolutePath(const std::wstring& path) {
    const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0) return path;
    std::wstring full(size, L'\0');
    full.resize(GetFullPathNameW(path.c_str(), size, full.data(), nullptr));
    return full;
}

bool CommandLine::Has(const wchar_t* option) const {
    return std::any_of(options.begin(), options.end(), [&](const auto& given) { return given.first == option; });
}

std::wstring CommandLine::Value(const wchar_t* option) const {
    const auto given = std::find_if(options.rbegin(), options.rend(), [&](const auto& o) { return o.first == option; });
    return given == options.rend() ? L"" : given->second;
}

bool ParseCommandLine(const std::vector<std::wstring>& words, CommandLine& line, std::wstring& error) {
    std::wstring settings = L"devhost.ini";  // here, so each working folder keeps its own port set-up
    for (size_t i = 0; i < words.size(); ++i) {
        const std::wstring& word = words[i];
        const OptionSpec* option = FindOption(word);
        std::wstring value;
        if (option && option->takes != Takes::Nothing) {
            if (i + 1 == words.size()) {
                error = word + L" needs a value";
                return false;
            }
            value = words[++i];
            if (option->takes == Takes::Path) WarnIfDeviceName(value);
        }
        if (word == L"--dll") {
            line.dllPath = value;
        } else if (word == L"--settings") {
            settings = value;
        } else if (word == L"--trace") {
            line.trace = true;
        } else if (word == L"--help" || word == L"-h" || word == L"/?") {
            line.help = true;
        } else if (option) {
            line.options.emplace_back(word, value);
        } else if (line.command.empty() && word.rfind(L'-', 0) != 0) {
            line.command = word == L"help" ? L"" : word;
            line.help = line.help || word == L"help";
        } else {
            line.arguments.push_back(word);
        }
    }
    line.settingsPath = AbsolutePath(settings);
    return true;
}

bool TakesAll(const CommandLine& line, size_t mostArguments) {
    std::wstring refused;
    const std::wstring command = L" " + line.command + L" ";
    for (const auto& given : line.options) {
        if (!std::wcsstr(FindOption(given.first)->commands, command.c_str())) refused = given.first;
    }
    for (size_t i = 0; i < line.arguments.size() && refused.empty(); ++i) {
        if (i >= mostArguments || line.arguments[i].rfind(L'-', 0) == 0) refused = line.arguments[i];
    }
    if (refused.empty()) return true;
    Complain(line.command + L" does not take \"" + refused + L"\"; devhost " + line.command + L" --help tells more");
    return false;
}

}  // namespace DevHost
