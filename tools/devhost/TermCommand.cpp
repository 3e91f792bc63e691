#include <algorithm>
#include <iterator>
#include "CommandLine.h"
#include "ConsoleOutput.h"
#include "ExchangeSession.h"

namespace DevHost {

int RunTerm(const CommandLine& line) {
    if (!TakesAll(line, 0)) return ExitUsage;
    const bool hex = line.Has(L"--hex");
    // With --hex the line is the bytes typed, so nothing is appended unless
    // --eol asks for it.
    std::string lineEnding = hex ? "" : "\r\n";
    if (line.Has(L"--eol")) {
        static const struct {
            const wchar_t* name;
            const char* bytes;
        } kEndings[] = {{L"none", ""}, {L"cr", "\r"}, {L"lf", "\n"}, {L"crlf", "\r\n"}};
        const auto* ending = std::find_if(std::begin(kEndings), std::end(kEndings),
                                          [&](const auto& known) { return line.Value(L"--eol") == known.name; });
        if (ending == std::end(kEndings)) {
            Complain(L"--eol takes none, cr, lf or crlf, not \"" + line.Value(L"--eol") + L"\"");
            return ExitUsage;
        }
        lineEnding = ending->bytes;
    }
    return CExchangeSession(line, hex ? CSessionScreen::Data::Hex : CSessionScreen::Data::Visible, lineEnding).Run();
}

}  // namespace DevHost
