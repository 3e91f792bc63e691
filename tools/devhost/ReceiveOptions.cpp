#include "ReceiveOptions.h"

namespace DevHost {

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

}  // namespace DevHost
