#include "CliArgs.h"

#include <charconv>
#include <cmath>
#include <map>
#include <set>

const char* const kCliUsage = R"(usage:
  tvsupervisor-cli discover --port PORT [--site NAME] [--timeout S]
                            [--password TEXT] [--verbose]
      Opens a session on a direct line, waits until every device and its
      tables have been read and the line has gone quiet, prints the device
      tree, records the session in the session history and closes it.
  tvsupervisor-cli scan --port PORT --device ADDRESS --interval S --count N
                        [--site NAME] [--timeout S] [--password TEXT] [--verbose]
      Discovers as above, then reads the parameters of the device at
      ADDRESS every S seconds, N times, and prints each reading.
  tvsupervisor-cli sessions     the session history, oldest first
  tvsupervisor-cli sites        the sites directory
  tvsupervisor-cli paths        where the INI file and the Data folder are:
                                the program's (tvsupervisor.INI beside the
                                client, or the user's folders when that
                                folder is not writable)
  tvsupervisor-cli --help       this text

  PORT      COM1 .. COM15, mapped to a device path by the INI file's section
            PORTS (COM1=/dev/ttyUSB0; default COMn is /dev/ttyS(n-1)), or a
            device path such as /dev/ttyUSB0 or /dev/pts/3.
  NAME      a site of the sites directory (Data/ObjctsList.sdb); its data are
            recorded with the session. An unknown name is refused before the
            port is opened.
  ADDRESS   the device's bus address, decimal (19) or hexadecimal (0x13);
            behind a hub the channel is the high digit (0x13: channel 1).
  S         seconds, a decimal number (0.5); --timeout defaults to 30 and
            bounds the discovery.
  --password  the access password, should the line ask for one.
  --verbose   the line log (frames sent and received) on standard error.

output of discover:
  site     NAME                           (with --site)
  port     PORT (device path)
  devices  N, discovery complete in S s

  Devices                                 the tree: devices on the bus, each
    0x02  Server                          hub's devices indented under it
    0x05  HUB                             with their hub channel
      0x13  TV Exciter  channel 1

  then one block per device, in tree order:
  0x02  Server
    state 0x00                            the device's state byte; for the
                                          types with alarm panels the panels
                                          that are lit: (ALR TEMP OWERC VSWR)
    version TEXT                          when the device reports one
    Attributes
      NAME  VALUE
    Parameters
      PARAMETER  VALUE  DIM.  MIN  MAX  STATE

  VALUE, MIN and MAX are shown in the parameter's own format. STATE is
    ok    within the limits
    LOW   below MIN
    HIGH  at or above MAX
    -     not watched (the parameter's mode has no watch bits)
  Columns are separated by two spaces; numbers are right-aligned.

output of scan: per reading a line
  scan I/N  DATE TIME  ADDRESS  DEVICE
  followed by the parameters table as above, or "no answer".

output of sessions:  N  DATE BEGIN  DATE END  NAME  PHONE  REGION  DEVICES
output of sites:     N  NAME  PHONE  REGION  ADDRESS  TIMEZONE
Texts of the Data files are 8-bit (windows-1252) and printed as UTF-8.

exit status: 0 done; 1 failure (the port is missing or in use, no answer,
a Data file cannot be used, no such device or site), with one line on
standard error; 2 wrong usage; 3 discovery not complete within --timeout;
130 interrupted (Ctrl-C), the session closed and recorded.
)";

namespace {

struct TCommandRule {
    TCliCommand command;
    std::set<std::string> allowed;
    std::vector<std::string> required;
};

const std::map<std::string, TCommandRule>& Commands() {
    static const std::map<std::string, TCommandRule> rules{
        {"discover",
         {TCliCommand::Discover, {"port", "site", "timeout", "password", "verbose"}, {"port"}}},
        {"scan",
         {TCliCommand::Scan,
          {"port", "site", "timeout", "password", "verbose", "device", "interval", "count"},
          {"port", "device", "interval", "count"}}},
        {"sessions", {TCliCommand::Sessions, {}, {}}},
        {"sites", {TCliCommand::Sites, {}, {}}},
        {"paths", {TCliCommand::Paths, {}, {}}},
    };
    return rules;
}

bool IsFlag(const std::string& name) {
    return name == "verbose";
}

// Seconds: a finite decimal number above 0, at most a day.
std::optional<double> ParseSeconds(const std::string& text) {
    double v = 0;
    const char* first = text.data();
    const char* last = first + text.size();
    const auto [ptr, ec] = std::from_chars(first, last, v, std::chars_format::fixed);
    if (text.empty() || ec != std::errc() || ptr != last || !std::isfinite(v)) return {};
    if (v <= 0 || v > 86400) return {};
    return v;
}

std::optional<int> ParseCount(const std::string& text) {
    int v = 0;
    const char* first = text.data();
    const char* last = first + text.size();
    const auto [ptr, ec] = std::from_chars(first, last, v);
    if (text.empty() || ec != std::errc() || ptr != last || v < 1 || v > 1'000'000) return {};
    return v;
}

// Applies one option's value; an error text when it is not acceptable.
std::string Apply(TCliOptions& o, const std::string& name, const std::string& value) {
    if (name == "port") {
        if (value.empty()) return "--port needs a port name or a device path";
        o.port = value;
    } else if (name == "site") {
        if (value.empty()) return "--site needs a site name";
        o.site = value;
    } else if (name == "password") {
        o.password = value;
    } else if (name == "timeout") {
        const auto s = ParseSeconds(value);
        if (!s) return "--timeout takes seconds above 0 and at most 86400, not \"" + value + "\"";
        o.timeoutSeconds = *s;
    } else if (name == "interval") {
        const auto s = ParseSeconds(value);
        if (!s) return "--interval takes seconds above 0 and at most 86400, not \"" + value + "\"";
        o.intervalSeconds = *s;
    } else if (name == "count") {
        const auto n = ParseCount(value);
        if (!n) return "--count takes a whole number from 1 to 1000000, not \"" + value + "\"";
        o.count = *n;
    } else if (name == "device") {
        const auto a = ParseDeviceAddress(value);
        if (!a)
            return "--device takes a bus address from 2 to 255 (decimal or 0x hex), not \"" +
                   value + "\"";
        o.device = *a;
    } else if (name == "verbose") {
        o.verbose = true;
    }
    return {};
}

} // namespace

std::optional<std::uint8_t> ParseDeviceAddress(const std::string& text) {
    int base = 10;
    std::string digits = text;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        base = 16;
        digits = digits.substr(2);
    }
    unsigned v = 0;
    const char* first = digits.data();
    const char* last = first + digits.size();
    const auto [ptr, ec] = std::from_chars(first, last, v, base);
    if (digits.empty() || ec != std::errc() || ptr != last || v < 2 || v > 255) return {};
    return static_cast<std::uint8_t>(v);
}

TCliParse ParseCliArgs(const std::vector<std::string>& args) {
    TCliParse r;
    for (const auto& a : args)
        if (a == "--help" || a == "-h") return r;
    if (args.empty()) {
        r.error = "no command given";
        return r;
    }
    const auto rule = Commands().find(args[0]);
    if (rule == Commands().end()) {
        r.error = "unknown command \"" + args[0] + "\"";
        return r;
    }
    const std::string& command = args[0];
    r.options.command = rule->second.command;

    std::set<std::string> seen;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a.rfind("--", 0) != 0 || a.size() == 2) {
            r.error = "unexpected argument \"" + a + "\" for " + command;
            return r;
        }
        std::string name = a.substr(2);
        std::optional<std::string> value;
        if (const auto eq = name.find('='); eq != std::string::npos) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
        }
        if (!rule->second.allowed.count(name)) {
            r.error = "--" + name + " is no option of " + command;
            return r;
        }
        if (!seen.insert(name).second) {
            r.error = "--" + name + " given twice";
            return r;
        }
        if (IsFlag(name)) {
            if (value) {
                r.error = "--" + name + " takes no value";
                return r;
            }
        } else if (!value) {
            if (i + 1 >= args.size()) {
                r.error = "--" + name + " needs a value";
                return r;
            }
            value = args[++i];
        }
        r.error = Apply(r.options, name, value.value_or(""));
        if (!r.error.empty()) return r;
    }
    for (const auto& name : rule->second.required)
        if (!seen.count(name)) {
            r.error = command + " needs --" + name;
            return r;
        }
    return r;
}
