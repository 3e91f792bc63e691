#include "CommandLine.h"
#include <cwctype>
#include "ConsoleOutput.h"
#include "IniSettings.h"
#include "PropertyNames.h"

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

bool IsDeviceName(std::wstring name) {
    for (wchar_t& c : name) c = static_cast<wchar_t>(std::towupper(c));
    if (name == L"CON" || name == L"PRN" || name == L"AUX" || name == L"NUL") return true;
    return name.size() == 4 && (name.rfind(L"COM", 0) == 0 || name.rfind(L"LPT", 0) == 0) && name[3] >= L'1' &&
           name[3] <= L'9';
}

bool LineEndingNamed(const std::wstring& name, std::string& ending) {
    static const struct {
        const wchar_t* name;
        const char* bytes;
    } kEndings[] = {{L"none", ""}, {L"cr", "\r"}, {L"lf", "\n"}, {L"crlf", "\r\n"}};
    for (const auto& known : kEndings) {
        if (name == known.name) {
            ending = known.bytes;
            return true;
        }
    }
    return false;
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

bool NoArguments(const CommandLine& line) {
    if (line.arguments.empty()) return true;
    Complain(line.command + L" takes no arguments or options of its own, not \"" + line.arguments.front() +
             L"\"; devhost " + line.command + L" --help tells more");
    return false;
}

void WarnIfDeviceName(const std::wstring& path) {
    const size_t folder = path.find_last_of(L"\\/:");
    const std::wstring name = folder == std::wstring::npos ? path : path.substr(folder + 1);
    const size_t dot = name.find(L'.');
    if (dot == std::wstring::npos || !IsDeviceName(name.substr(0, dot))) return;
    Complain(L"warning: Windows takes \"" + path + L"\" for the device " + name.substr(0, dot) +
             L", not a file (CON, PRN, AUX, NUL, COM1-COM9 and LPT1-LPT9 are devices whatever their extension)");
}

bool ParseReceiveOptions(const std::vector<std::wstring>& arguments, ReceiveOptions& options, std::wstring& error) {
    bool displayChosen = false;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::wstring& option = arguments[i];
        if (option == L"--text" || option == L"--hex") {
            DataDisplay display = option == L"--text" ? DataDisplay::Text : DataDisplay::Hex;
            if (displayChosen && options.display != display) {
                error = L"--text and --hex exclude each other";
                return false;
            }
            options.display = display;
            displayChosen = true;
        } else if (option == L"--out" || option == L"--capture" || option == L"--send" || option == L"--say") {
            if (i + 1 >= arguments.size()) {
                error = option + L" needs a value";
                return false;
            }
            const std::wstring& value = arguments[++i];
            if (option == L"--out") options.outPath = value;
            else if (option == L"--capture") options.capturePath = value;
            else options.transfers.push_back({option == L"--send", value});
        } else {
            error = L"unknown option for receive: " + option;
            return false;
        }
    }
    if (!displayChosen) options.display = options.outPath.empty() ? DataDisplay::Text : DataDisplay::None;
    return true;
}

bool ParseTermOptions(const std::vector<std::wstring>& arguments, TermOptions& options, std::wstring& error) {
    bool endingChosen = false;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::wstring& option = arguments[i];
        if (option == L"--hex") options.hex = true;
        else if (option == L"--timestamps") options.timestamps = true;
        else if (option == L"--echo") options.echo = true;
        else if (option == L"--restart") options.restart = true;
        else if (option == L"--eol" || option == L"--capture") {
            if (i + 1 >= arguments.size()) {
                error = option + L" needs a value";
                return false;
            }
            const std::wstring& value = arguments[++i];
            if (option == L"--capture") {
                options.capturePath = value;
            } else if (!LineEndingNamed(value, options.lineEnding)) {
                error = L"--eol takes none, cr, lf or crlf, not \"" + value + L"\"";
                return false;
            } else {
                endingChosen = true;
            }
        } else {
            error = L"unknown option for term: " + option;
            return false;
        }
    }
    if (options.hex && !endingChosen) options.lineEnding.clear();
    return true;
}

bool ParseSetArguments(const std::vector<std::wstring>& arguments, std::vector<SetRequest>& requests,
                       std::wstring& error) {
    std::vector<SetRequest> parsed;
    for (const std::wstring& argument : arguments) {
        size_t equals = argument.find(L'=');
        if (equals == std::wstring::npos || equals == 0) {
            error = L"\"" + argument + L"\" is not name=value";
            return false;
        }
        std::wstring name = argument.substr(0, equals);
        std::wstring value = argument.substr(equals + 1);
        const PropertyName* property = FindPropertyName(name);
        if (!property) {
            error = L"unknown setting \"" + name + L"\"; the settings are: " + ListPropertyNames();
            return false;
        }
        if (value.empty()) {
            error = L"no value given for " + std::wstring(property->name);
            return false;
        }
        for (const SetRequest& earlier : parsed) {
            if (earlier.id == property->setting.propertyId) {
                error = std::wstring(property->name) + L" is given twice";
                return false;
            }
        }
        parsed.push_back({property->setting.propertyId, property->name, value});
    }
    if (parsed.empty()) {
        error = L"nothing to set; give name=value pairs, e.g. port=COM5 baud=115200";
        return false;
    }
    requests = std::move(parsed);
    return true;
}

}  // namespace DevHost
