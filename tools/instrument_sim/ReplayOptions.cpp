#include "ReplayOptions.h"
#include <cerrno>
#include <cmath>
#include <cwchar>

namespace {

// The whole text must be the number: "2x" or "" is a typing error, not 2 or 0.
bool WholeNumber(const std::wstring& text, double& value) {
    if (text.empty()) return false;
    wchar_t* end = nullptr;
    errno = 0;
    value = std::wcstod(text.c_str(), &end);
    return *end == L'\0' && errno == 0 && std::isfinite(value);
}

}  // namespace

bool ParseReplayOptions(const std::vector<std::wstring>& arguments, ReplayOptions& options, std::wstring& error) {
    if (arguments.size() < 2) {
        error = L"replay needs a capture file and a port";
        return false;
    }
    options.capture = arguments[0];
    options.port = arguments[1];
    for (size_t i = 2; i < arguments.size(); i += 2) {
        const std::wstring& option = arguments[i];
        if (option != L"--baud" && option != L"--speed") {
            error = L"unknown option " + option;
            return false;
        }
        double value = 0;
        if (i + 1 == arguments.size() || !WholeNumber(arguments[i + 1], value) || value <= 0) {
            error = option + L" needs a number greater than 0";
            return false;
        }
        if (option == L"--speed") {
            options.speed = value;
        } else if (value != std::floor(value) || value > MAXDWORD) {
            error = L"--baud needs a whole number of bits per second";
            return false;
        } else {
            options.baud = static_cast<DWORD>(value);
        }
    }
    return true;
}
