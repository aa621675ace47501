// The command line of tvsupervisor-cli: a command word, then its options,
// each "--name value" or "--name=value". Plain C++, so that the rules are
// tested as a table without a port or a Qt application.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

enum class TCliCommand { Help, Discover, Scan, Sessions, Sites, Paths };

struct TCliOptions {
    TCliCommand command = TCliCommand::Help;
    // As given: "COM1" .. "COM15" or a device path.
    std::string port;
    // A site of the sites directory, as typed (UTF-8).
    std::string site;
    std::optional<std::string> password;
    double timeoutSeconds = 30;
    std::uint8_t device = 0;
    double intervalSeconds = 0;
    int count = 0;
    bool verbose = false;
};

struct TCliParse {
    TCliOptions options;
    // Empty when the command line was understood; otherwise one line that
    // says what is wrong with it.
    std::string error;
};

// `args` without the program name.
TCliParse ParseCliArgs(const std::vector<std::string>& args);

// A bus address: decimal, or hexadecimal after "0x". Addresses 0 (everyone)
// and 1 (this program) are no device's.
std::optional<std::uint8_t> ParseDeviceAddress(const std::string& text);

extern const char* const kCliUsage;
