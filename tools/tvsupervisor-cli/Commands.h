// The client's commands. Each returns the exit status and writes its
// result to `out`; a failure is one line on `err`.
#pragma once

#include "CliArgs.h"

#include <ostream>

enum TCliStatus {
    kExitOk = 0,
    kExitFailure = 1,
    kExitUsage = 2,
    kExitTimeout = 3,
    kExitInterrupted = 130
};

// `executable` names the program file, whose place decides where the INI
// file and the Data folder are.
int RunCommand(const TCliOptions& options, const std::string& executable, std::ostream& out,
               std::ostream& err);
