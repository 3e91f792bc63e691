#pragma once
#include "CommandLine.h"

namespace DevHost {

// Each returns the process exit status (ExitCodes.h).
int RunInfo(const CommandLine& line);
int RunSettings(const CommandLine& line);
int RunSet(const CommandLine& line);
int RunReceive(const CommandLine& line);
int RunTerm(const CommandLine& line);
int RunDoctor(const CommandLine& line);

// Usage of one command, or of devhost as a whole for an empty name. False
// when there is no such command.
bool PrintHelp(const std::wstring& command);

}  // namespace DevHost
