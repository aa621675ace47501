// tvsupervisor-cli: sessions with a site without the window, for
// operators' scripts; the same INI file, PORTS mapping and Data folder as
// the program.
#include "CliArgs.h"
#include "Commands.h"
#include "Interrupt.h"
#include "ProgramPaths.h"

#include <QCoreApplication>
#include <filesystem>
#include <iostream>

namespace {
// The client keeps the files of the program it sits beside: the INI file
// and the per-user folders are named after the program, not the client.
constexpr const char* kProgramName = "tvsupervisor";

std::string ProgramBeside(const std::string& client) {
    if (client.empty()) return kProgramName;
    return (std::filesystem::path(client).parent_path() / kProgramName).string();
}
} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    const TCliParse parsed = ParseCliArgs(args);
    if (!parsed.error.empty()) {
        std::cerr << "tvsupervisor-cli: " << parsed.error << " (see tvsupervisor-cli --help)\n";
        return kExitUsage;
    }
    // The link thread hands its frames to the controller through this
    // thread's event loop, which every wait of the commands keeps running.
    QCoreApplication app(argc, argv);
    InstallInterruptHandler();
    return RunCommand(parsed.options, ProgramBeside(ExecutablePath()), std::cout, std::cerr);
}
