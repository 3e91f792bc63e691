#include "CommandLine.h"
#include "CommandSupport.h"
#include "IniSettings.h"

namespace DevHost {
namespace {

// Options of the commands that take a value; the value is passed on with
// its option and never read as a command or as --help.
bool TakesValue(const std::wstring& option) {
    return option == L"--out" || option == L"--capture" || option == L"--send" || option == L"--say" ||
           option == L"--eol";
}

bool TakesPath(const std::wstring& option) {
    return option == L"--out" || option == L"--capture" || option == L"--send";
}

}  // namespace

bool ParseCommandLine(const std::vector<std::wstring>& words, CommandLine& line, std::wstring& error) {
    std::wstring settings = kDefaultSettingsFile;
    for (size_t i = 0; i < words.size(); ++i) {
        const std::wstring& word = words[i];
        bool hasValue = i + 1 < words.size();
        if (word == L"--dll" || word == L"--settings") {
            if (!hasValue) {
                error = word + L" needs a path";
                return false;
            }
            (word == L"--dll" ? line.dllPath : settings) = words[++i];
            if (word == L"--settings") WarnIfDeviceName(settings);
        } else if (word == L"--trace") {
            line.trace = true;
        } else if (word == L"--help" || word == L"-h" || word == L"/?") {
            line.help = true;
        } else if (line.command.empty() && word.rfind(L'-', 0) != 0) {
            line.command = word == L"help" ? L"" : word;
            line.help = line.help || word == L"help";
        } else {
            line.arguments.push_back(word);
            if (!TakesValue(word) || !hasValue) continue;
            line.arguments.push_back(words[++i]);
            if (TakesPath(word)) WarnIfDeviceName(line.arguments.back());
        }
    }
    line.settingsPath = AbsoluteSettingsPath(settings);
    return true;
}

}  // namespace DevHost
