#pragma once
#include "CommandLine.h"
#include "ExitStatus.h"

// The commands devhost runs, each with its exit status; main.cpp holds their
// usage and docs/devhost.md tells what they do.
namespace DevHost {

int RunInfo(const CommandLine& line);
int RunSettings(const CommandLine& line);
int RunSet(const CommandLine& line);
int RunReceive(const CommandLine& line);
int RunTerm(const CommandLine& line);
int RunDoctor(const CommandLine& line);
int RunHunt(const CommandLine& line);
int RunPorts(const CommandLine& line);

}  // namespace DevHost
