#include <map>
#include "CommandLine.h"
#include "ConsoleOutput.h"
#include "ExchangeSession.h"

namespace DevHost {

int RunTerm(const CommandLine& line) {
    if (!TakesAll(line, 0)) return ExitUsage;
    static const std::map<std::wstring, std::string> kEndings{
        {L"none", ""}, {L"cr", "\r"}, {L"lf", "\n"}, {L"crlf", "\r\n"}};
    const bool hex = line.Has(L"--hex");
    // With --hex the line is the bytes typed, so nothing is appended unless
    // --eol asks for it.
    const auto ending = kEndings.find(line.Has(L"--eol") ? line.Value(L"--eol") : hex ? L"none" : L"crlf");
    if (ending == kEndings.end()) {
        Complain(L"--eol takes none, cr, lf or crlf, not \"" + line.Value(L"--eol") + L"\"");
        return ExitUsage;
    }
    return CExchangeSession(line, hex ? CSessionScreen::Data::Hex : CSessionScreen::Data::Visible, ending->second)
        .Run();
}

}  // namespace DevHost
