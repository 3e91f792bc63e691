#include "TermOptions.h"

namespace DevHost {
namespace {

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

}  // namespace DevHost
