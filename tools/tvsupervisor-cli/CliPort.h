// The serial line of a command-line session: the --port argument resolved
// to a device path, and a provider that opens exactly that path and keeps
// the reason when it cannot.
#pragma once

#include "PortPaths.h"
#include "SerialDevice.h"

#include <optional>
#include <string>

// The device path for "COM1" .. "COM15" (through the INI file's PORTS) or
// for a path given as such (starting with "/"); none for anything else.
std::optional<std::string> ResolvePortPath(const std::string& port, const TPortPaths& paths);

class TCliSerialProvider : public ISerialProvider {
public:
    explicit TCliSerialProvider(std::string path) : path_(std::move(path)) {}

    // Whatever name the port object asks for, the resolved path is opened.
    std::unique_ptr<ISerialDevice> Open(const std::string& portName) override;
    const std::string& Path() const { return path_; }
    // Why the last open failed ("open /dev/ttyS9: No such file or directory").
    const std::string& LastError() const { return error_; }

private:
    std::string path_;
    std::string error_;
};
