#include "CommandLine.h"
#include <cwctype>
#include "ConsoleOutput.h"
#include "SettingsFile.h"

namespace DevHost {
namespace {

// The settings file when --settings is not given: devhost.ini in the
// current folder, so each working folder keeps its own port set-up.
constexpr wchar_t kDefaultSettingsFile[] = L"devhost.ini";

enum class Takes { Nothing, Text, Path };

struct OptionSpec {
    const wchar_t* name;
    const wchar_t* commands;  // the commands that take it, between blanks
    Takes takes;
};

constexpr OptionSpec kOptions[] = {
    {L"--out", L" receive ", Takes::Path},       {L"--capture", L" receive term ", Takes::Path},
    {L"--send", L" receive ", Takes::Path},      {L"--say", L" receive ", Takes::Text},
    {L"--text", L" receive ", Takes::Nothing},   {L"--hex", L" receive term ", Takes::Nothing},
    {L"--eol", L" term ", Takes::Text},          {L"--timestamps", L" term ", Takes::Nothing},
    {L"--echo", L" term ", Takes::Nothing},      {L"--restart", L" term ", Takes::Nothing},
};

const OptionSpec* FindOption(const std::wstring& name) {
    for (const OptionSpec& option : kOptions) {
        if (name == option.name) return &option;
    }
    return nullptr;
}

bool IsDeviceName(std::wstring name) {
    for (wchar_t& c : name) c = static_cast<wchar_t>(std::towupper(c));
    if (name == L"CON" || name == L"PRN" || name == L"AUX" || name == L"NUL") return true;
    return name.size() == 4 && (name.rfind(L"COM", 0) == 0 || name.rfind(L"LPT", 0) == 0) && name[3] >= L'1' &&
           name[3] <= L'9';
}

// Windows opens CON, PRN, AUX, NUL, COM1-COM9 and LPT1-LPT9 as devices,
// with any extension and in any folder: "con.out" is the console, not a
// file. Said when path is such a name with an extension, where a file was
// surely meant; a bare "nul" is left alone.
void WarnIfDeviceName(const std::wstring& path) {
    const size_t folder = path.find_last_of(L"\\/:");
    const std::wstring name = folder == std::wstring::npos ? path : path.substr(folder + 1);
    const size_t dot = name.find(L'.');
    if (dot == std::wstring::npos || !IsDeviceName(name.substr(0, dot))) return;
    Complain(L"warning: Windows takes \"" + path + L"\" for the device " + name.substr(0, dot) +
             L", not a file (CON, PRN, AUX, NUL, COM1-COM9 and LPT1-LPT9 are devices whatever their extension)");
}

}  // namespace

bool CommandLine::Has(const wchar_t* option) const {
    for (const auto& given : options) {
        if (given.first == option) return true;
    }
    return false;
}

std::wstring CommandLine::Value(const wchar_t* option) const {
    std::wstring value;
    for (const auto& given : options) {
        if (given.first == option) value = given.second;
    }
    return value;
}

bool ParseCommandLine(const std::vector<std::wstring>& words, CommandLine& line, std::wstring& error) {
    std::wstring settings = kDefaultSettingsFile;
    for (size_t i = 0; i < words.size(); ++i) {
        const std::wstring& word = words[i];
        const OptionSpec* option = FindOption(word);
        const bool takesValue = word == L"--dll" || word == L"--settings" || (option && option->takes != Takes::Nothing);
        if (takesValue && i + 1 >= words.size()) {
            error = word + L" needs a value";
            return false;
        }
        if (word == L"--dll") {
            line.dllPath = words[++i];
        } else if (word == L"--settings") {
            settings = words[++i];
            WarnIfDeviceName(settings);
        } else if (word == L"--trace") {
            line.trace = true;
        } else if (word == L"--help" || word == L"-h" || word == L"/?") {
            line.help = true;
        } else if (option) {
            line.options.emplace_back(word, takesValue ? words[++i] : L"");
            if (option->takes == Takes::Path) WarnIfDeviceName(line.options.back().second);
        } else if (line.command.empty() && word.rfind(L'-', 0) != 0) {
            line.command = word == L"help" ? L"" : word;
            line.help = line.help || word == L"help";
        } else {
            line.arguments.push_back(word);
        }
    }
    line.settingsPath = AbsoluteSettingsPath(settings);
    return true;
}

bool TakesAll(const CommandLine& line, size_t mostArguments) {
    std::wstring refused;
    for (const auto& given : line.options) {
        if (std::wstring(FindOption(given.first)->commands).find(L" " + line.command + L" ") == std::wstring::npos) {
            refused = given.first;
        }
    }
    for (size_t i = 0; i < line.arguments.size() && refused.empty(); ++i) {
        if (i >= mostArguments || line.arguments[i].rfind(L'-', 0) == 0) refused = line.arguments[i];
    }
    if (refused.empty()) return true;
    Complain(line.command + L" does not take \"" + refused + L"\"; devhost " + line.command + L" --help tells more");
    return false;
}

}  // namespace DevHost
