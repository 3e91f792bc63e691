#include "CommandLine.h"
#include "ConsoleOutput.h"
#include "ExchangeSession.h"

namespace DevHost {

int RunReceive(const CommandLine& line) {
    if (!TakesAll(line, 0)) return ExitUsage;
    if (line.Has(L"--text") && line.Has(L"--hex")) {
        Complain(L"--text and --hex exclude each other");
        return ExitUsage;
    }
    // Without --text or --hex the data is shown as text unless it goes to a
    // file, so a bare `devhost receive` shows what arrives.
    using Data = CSessionScreen::Data;
    CExchangeSession session(line, line.Has(L"--hex")                            ? Data::Hex
                                   : line.Has(L"--text") || !line.Has(L"--out") ? Data::AsItCame
                                                                                 : Data::Hidden);
    for (const auto& [option, value] : line.options) {
        const bool isFile = option == L"--send";
        if (!isFile && option != L"--say") continue;
        std::vector<uint8_t> bytes;
        std::wstring error;
        if (!(isFile ? ReadTransferFile(value, bytes, error) : DecodeSayText(value, bytes, error))) {
            Complain(error);
            return ExitUsage;
        }
        session.Give(isFile ? value : L"\"" + value + L"\"", std::move(bytes));
    }
    return session.Run();
}

}  // namespace DevHost
