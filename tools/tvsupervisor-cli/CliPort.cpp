#include "CliPort.h"

#include "PosixSerial.h"

std::optional<std::string> ResolvePortPath(const std::string& port, const TPortPaths& paths) {
    if (ComPortNumber(port) != 0) return paths.PathFor(port);
    if (!port.empty() && port[0] == '/') return port;
    return std::nullopt;
}

std::unique_ptr<ISerialDevice> TCliSerialProvider::Open(const std::string& /*portName*/) {
    error_.clear();
    auto device = TPosixSerialDevice::Open(path_, &error_);
    if (!device && error_.empty()) error_ = "cannot open " + path_;
    return device;
}
