// An arbitrary command line of tvsupervisor-cli (arguments separated by NUL
// bytes) through the parser and the port argument's resolution.
#include "CliArgs.h"
#include "CliPort.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> args(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0)
            args.emplace_back();
        else
            args.back() += static_cast<char>(data[i]);
    }
    const TCliParse parsed = ParseCliArgs(args);
    // An accepted command line holds only values its command can use.
    if (parsed.error.empty()) {
        const TCliOptions& o = parsed.options;
        if (o.command == TCliCommand::Scan &&
            (o.device < 2 || o.count < 1 || !(o.intervalSeconds > 0)))
            __builtin_trap();
        if (!(o.timeoutSeconds > 0 && o.timeoutSeconds <= 86400)) __builtin_trap();
        (void)ResolvePortPath(o.port, TPortPaths{});
    }
    for (const auto& a : args)
        (void)ParseDeviceAddress(a);
    return 0;
}
