#include "SiteJson.h"

#include "SimError.h"
#include "Site.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

namespace sim {

namespace {

using nlohmann::json;

// The longest body of a child form, where one byte of address comes first.
constexpr std::size_t kRoom = 254 - 1;

class TNode {
public:
    std::string ToWindows1252(const std::string& utf8) const {
        // Code points of 0x80..0x9F in windows-1252, in byte order.
        static const char32_t kHigh[32] = {
            0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
            0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
            0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
        std::string out;
        for (std::size_t i = 0; i < utf8.size();) {
            const auto b = static_cast<unsigned char>(utf8[i]);
            char32_t cp = b;
            std::size_t len = 1;
            if (b >= 0xC0 && b < 0xE0) {
                cp = b & 0x1F;
                len = 2;
            } else if (b >= 0xE0 && b < 0xF0) {
                cp = b & 0x0F;
                len = 3;
            } else if (b >= 0xF0) {
                cp = b & 0x07;
                len = 4;
            }
            for (std::size_t k = 1; k < len && i + k < utf8.size(); ++k)
                cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
            i += len;
            if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
                out += static_cast<char>(cp);
                continue;
            }
            int found = -1;
            for (int k = 0; k < 32; ++k)
                if (kHigh[k] == cp) found = k;
            if (found < 0) {
                char buf[16];
                std::snprintf(buf, sizeof buf, "U+%04X", static_cast<unsigned>(cp));
                Fail(std::string("the character ") + buf + " has no windows-1252 form");
            }
            out += static_cast<char>(0x80 + found);
        }
        return out;
    }

    TNode(const json& j, std::string origin, std::string place)
        : j_(j), origin_(std::move(origin)), place_(std::move(place)) {}

    [[noreturn]] void Fail(const std::string& why) const {
        throw ESimError(origin_ + ": " + (place_.empty() ? "top level" : place_) + ": " + why);
    }
    const json& Json() const { return j_; }

    // An object whose keys must all be among `known`: a misspelt key would
    // otherwise silently fall back to a default.
    void ExpectObject(std::initializer_list<const char*> known) const {
        if (!j_.is_object()) Fail("expected an object");
        for (auto it = j_.begin(); it != j_.end(); ++it) {
            bool ok = false;
            for (const char* k : known)
                ok = ok || it.key() == k;
            if (!ok) Child(it.key()).Fail("unknown key");
        }
    }
    bool Has(const char* key) const { return j_.contains(key); }
    TNode Child(const std::string& key) const {
        static const json null;
        const auto it = j_.find(key);
        return TNode(it == j_.end() ? null : *it, origin_,
                     place_.empty() ? key : place_ + "." + key);
    }
    TNode At(std::size_t i) const {
        return TNode(j_[i], origin_, place_ + "[" + std::to_string(i) + "]");
    }
    std::size_t ArraySize(std::size_t most) const {
        if (!j_.is_array()) Fail("expected an array");
        if (j_.size() > most)
            Fail("at most " + std::to_string(most) + " entries, found " +
                 std::to_string(j_.size()));
        return j_.size();
    }

    long Int(long lo, long hi) const {
        if (!j_.is_number_integer()) Fail("expected a whole number");
        if (j_.is_number_unsigned() &&
            j_.get<unsigned long long>() > static_cast<unsigned long long>(hi))
            Fail(j_.dump() + " is outside " + std::to_string(lo) + ".." + std::to_string(hi));
        const long v = j_.get<long>();
        if (v < lo || v > hi)
            Fail(std::to_string(v) + " is outside " + std::to_string(lo) + ".." +
                 std::to_string(hi));
        return v;
    }
    double Number() const {
        if (!j_.is_number()) Fail("expected a number");
        const double v = j_.get<double>();
        if (!std::isfinite(v)) Fail("expected a finite number");
        return v;
    }
    bool Bool() const {
        if (!j_.is_boolean()) Fail("expected true or false");
        return j_.get<bool>();
    }
    // The file is UTF-8; the devices send 8-bit texts in the program's code
    // page (windows-1252), so every character must have a form there.
    std::string Text(std::size_t most = 255) const {
        if (!j_.is_string()) Fail("expected a text");
        const std::string s = ToWindows1252(j_.get<std::string>());
        if (s.size() > most)
            Fail("text of " + std::to_string(s.size()) + " bytes, at most " + std::to_string(most));
        return s;
    }
    // A byte given as a number or as a "0x.." text.
    std::uint8_t Byte() const {
        if (j_.is_string()) {
            const std::string s = j_.get<std::string>();
            unsigned v = 0;
            char tail = 0;
            if (s.size() < 3 || s.size() > 4 || (s[0] != '0' || (s[1] != 'x' && s[1] != 'X')) ||
                std::sscanf(s.c_str() + 2, "%x%c", &v, &tail) != 1)
                Fail("expected a number 0..255 or a text 0x00..0xFF");
            return static_cast<std::uint8_t>(v);
        }
        return static_cast<std::uint8_t>(Int(0, 255));
    }

private:
    const json& j_;
    std::string origin_;
    std::string place_;
};

TSimClock ParseClock(const TNode& n) {
    const std::string s = n.Text();
    TSimClock c;
    unsigned y = 0, mo = 0, d = 0, h = 0, mi = 0, se = 0;
    char tail = 0;
    if (std::sscanf(s.c_str(), "%4u-%2u-%2uT%2u:%2u:%2u%c", &y, &mo, &d, &h, &mi, &se, &tail) !=
            6 ||
        s.size() != 19)
        n.Fail("expected a time as YYYY-MM-DDTHH:MM:SS");
    static const unsigned kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    if (y < 1980 || mo < 1 || mo > 12 || d < 1 || d > kDays[mo - 1] ||
        (mo == 2 && d == 29 && !leap) || h > 23 || mi > 59 || se > 59)
        n.Fail("\"" + s + "\" is not a valid time");
    c.year = static_cast<std::uint16_t>(y);
    c.month = static_cast<std::uint8_t>(mo);
    c.day = static_cast<std::uint8_t>(d);
    c.hour = static_cast<std::uint8_t>(h);
    c.minute = static_cast<std::uint8_t>(mi);
    c.second = static_cast<std::uint8_t>(se);
    return c;
}

// Engineering units to the raw word, by the decimals of the format byte.
std::uint16_t Raw(const TNode& n, std::uint8_t format) {
    const double v = n.Number();
    const double raw = std::round(v * std::pow(10.0, format & 0x0F));
    if (raw < 0 || raw > 65535)
        n.Fail(n.Json().dump() + " gives the raw value " +
               std::to_string(static_cast<long long>(raw)) + " at format 0x" +
               [&] {
                   char b[3];
                   std::snprintf(b, sizeof b, "%02X", format);
                   return std::string(b);
               }() +
               ", outside 0..65535");
    return static_cast<std::uint16_t>(raw);
}

std::uint8_t Calc(const TNode& n) {
    static const char* kNames[] = {"Linear", "Square-law", "Temperature", "Linear Pik",
                                   "Square-law Pik"};
    if (n.Json().is_string()) {
        const std::string s = n.Text();
        for (std::uint8_t k = 0; k < 5; ++k)
            if (s == kNames[k]) return k;
        n.Fail("\"" + s +
               "\" is not one of Linear, Square-law, Temperature, Linear Pik, Square-law Pik");
    }
    return static_cast<std::uint8_t>(n.Int(0, 4));
}

TAlarmKind Alarm(const TNode& n) {
    const std::string s = n.Text();
    if (s == "none") return TAlarmKind::None;
    if (s == "general") return TAlarmKind::General;
    if (s == "temperature") return TAlarmKind::Temperature;
    if (s == "overcurrent") return TAlarmKind::OverCurrent;
    if (s == "vswr") return TAlarmKind::Vswr;
    n.Fail("\"" + s + "\" is not one of none, general, temperature, overcurrent, vswr");
}

TCommandAction Action(const TNode& n) {
    const std::string s = n.Text();
    if (s == "none") return TCommandAction::None;
    if (s == "clear_alarms") return TCommandAction::ClearAlarms;
    if (s == "rf_on") return TCommandAction::RfOn;
    if (s == "rf_off") return TCommandAction::RfOff;
    if (s == "reset") return TCommandAction::Reset;
    n.Fail("\"" + s + "\" is not one of none, clear_alarms, rf_on, rf_off, reset");
}

TSimParameter ParseParameter(const TNode& n) {
    n.ExpectObject({"name", "unit", "format", "scale", "value", "min", "max", "threshold", "calc",
                    "group", "class", "mode", "assoc", "noise", "alarm", "setpoint", "rf"});
    TSimParameter p;
    p.name = n.Child("name").Text();
    p.dim = n.Has("unit") ? n.Child("unit").Text() : "";
    if (p.name.size() + p.dim.size() + 21 > kRoom)
        n.Fail("name and unit too long for one parameter row");
    p.format = n.Has("format") ? n.Child("format").Byte() : 0x30;
    p.scale = Raw(n.Child("scale"), p.format);
    p.min = n.Has("min") ? Raw(n.Child("min"), p.format) : 0;
    p.max = n.Has("max") ? Raw(n.Child("max"), p.format) : p.scale;
    p.value = Raw(n.Child("value"), p.format);
    if (p.scale == 0) n.Child("scale").Fail("a scale of 0 leaves no room for a value");
    if (p.max > p.scale) n.Child("max").Fail("above the scale");
    if (p.min > p.max) n.Child("min").Fail("above max");
    if (p.value > p.scale) n.Child("value").Fail("above the scale");
    p.nominal = p.value;
    const long percent = n.Has("threshold") ? n.Child("threshold").Int(0, 100) : 20;
    p.threshold = static_cast<std::uint16_t>(std::lround(p.scale * percent / 100.0));
    p.calc = n.Has("calc") ? Calc(n.Child("calc")) : 0;
    p.group = n.Has("group") ? n.Child("group").Byte() : 0;
    p.klass = n.Has("class") ? n.Child("class").Byte() : 0;
    p.mode = n.Has("mode") ? n.Child("mode").Byte() : 0;
    p.assoc = n.Has("assoc") ? n.Child("assoc").Byte() : 0;
    if (n.Has("noise")) {
        const double noise = n.Child("noise").Number();
        if (noise < 0) n.Child("noise").Fail("must not be negative");
        p.noise = noise * std::pow(10.0, p.format & 0x0F);
    } else {
        p.noise = (p.max - p.min) * 0.004;
    }
    p.alarm = n.Has("alarm") ? Alarm(n.Child("alarm")) : TAlarmKind::None;
    p.setpoint = n.Has("setpoint") && n.Child("setpoint").Bool();
    p.rf = n.Has("rf") && n.Child("rf").Bool();
    return p;
}

TSimDevice ParseDevice(const TNode& n, int channel, std::set<std::uint8_t>& taken);

void ParseChannels(const TNode& n, TSimDevice& hub) {
    n.ExpectObject({"1", "2", "3", "4"});
    for (int ch = 1; ch <= 4; ++ch) {
        const std::string key = std::to_string(ch);
        if (!n.Has(key.c_str())) continue;
        const TNode list = n.Child(key);
        std::set<std::uint8_t> taken;
        for (std::size_t i = 0, k = list.ArraySize(15); i < k; ++i)
            hub.channels[ch - 1].push_back(ParseDevice(list.At(i), ch, taken));
    }
}

TSimDevice ParseDevice(const TNode& n, int channel, std::set<std::uint8_t>& taken) {
    n.ExpectObject({"address", "type", "mode", "state", "line", "version", "calibration",
                    "attributes", "parameters", "controls", "commands", "history", "max",
                    "channels", "channel"});
    TSimDevice d;
    const TNode addr = n.Child("address");
    if (channel == 0) {
        // 0 is the broadcast and 1 the program; a high nibble means a hub.
        d.address = static_cast<std::uint8_t>(addr.Int(2, 15));
    } else {
        const long a = addr.Int(1, 0x4F);
        if (a > 15 && (a >> 4) != channel)
            addr.Fail("a device on channel " + std::to_string(channel) + " has the hub number " +
                      std::to_string(channel) + " in the high nibble");
        d.address = static_cast<std::uint8_t>((channel << 4) | (a & 0x0F));
        if ((d.address & 0x0F) == 0) addr.Fail("the device's own address must be 1..15");
    }
    if (!taken.insert(d.address).second)
        addr.Fail("address " + std::to_string(d.address) + " is used twice");
    d.devId = static_cast<std::uint8_t>(n.Child("type").Int(0, 255));
    d.mode = n.Has("mode") ? static_cast<std::uint8_t>(n.Child("mode").Int(0, 15)) : 0;
    d.state = n.Has("state") ? n.Child("state").Byte() : 0;
    d.line = n.Has("line") ? n.Child("line").Byte() : 0;
    d.version = n.Has("version") ? n.Child("version").Text(kRoom - 16) : "";
    if (n.Has("calibration")) {
        const long c = n.Child("calibration").Int(-31, 31);
        d.calibration = static_cast<std::uint8_t>(c < 0 ? (0x20 | -c) : c);
    }
    if (n.Has("attributes")) {
        const TNode list = n.Child("attributes");
        for (std::size_t i = 0, k = list.ArraySize(255); i < k; ++i) {
            const TNode a = list.At(i);
            a.ExpectObject({"name", "value", "options"});
            TSimAttribute at;
            at.name = a.Child("name").Text();
            at.value = a.Has("value") ? a.Child("value").Text() : "";
            at.options = a.Has("options") ? a.Child("options").Byte() : 0;
            if (at.name.size() + at.value.size() + 4 > kRoom)
                a.Fail("name and value too long for one attribute row");
            d.attributes.push_back(at);
        }
    }
    if (n.Has("parameters")) {
        const TNode list = n.Child("parameters");
        for (std::size_t i = 0, k = list.ArraySize(255); i < k; ++i)
            d.parameters.push_back(ParseParameter(list.At(i)));
    }
    if (n.Has("controls")) {
        const TNode list = n.Child("controls");
        for (std::size_t i = 0, k = list.ArraySize(255); i < k; ++i) {
            const TNode c = list.At(i);
            c.ExpectObject({"name", "value", "min", "max", "assoc"});
            TSimControl ct;
            ct.name = c.Child("name").Text(kRoom - 10);
            ct.min = c.Has("min") ? static_cast<std::uint16_t>(c.Child("min").Int(0, 65535)) : 0;
            ct.max = c.Has("max") ? static_cast<std::uint16_t>(c.Child("max").Int(0, 65535)) : 100;
            ct.value = static_cast<std::uint16_t>(c.Child("value").Int(0, 65535));
            ct.assoc = c.Has("assoc") ? c.Child("assoc").Byte() : 0;
            if (ct.min > ct.max) c.Child("min").Fail("above max");
            if (ct.value < ct.min || ct.value > ct.max) c.Child("value").Fail("outside min..max");
            d.controls.push_back(ct);
        }
    }
    if (n.Has("commands")) {
        const TNode list = n.Child("commands");
        for (std::size_t i = 0, k = list.ArraySize(255); i < k; ++i) {
            const TNode c = list.At(i);
            c.ExpectObject({"name", "action", "reply"});
            TSimCommand cm;
            cm.name = c.Child("name").Text(kRoom - 2);
            // The program reads a command row only when it is longer than
            // four bytes: index, length and at least three letters.
            if (cm.name.size() < 3)
                c.Child("name").Fail("a command name needs at least 3 characters");
            cm.action = c.Has("action") ? Action(c.Child("action")) : TCommandAction::None;
            cm.reply = c.Has("reply") ? c.Child("reply").Text(kRoom - 1) : "";
            d.commands.push_back(cm);
        }
    }
    if (n.Has("channels")) {
        if (channel != 0) n.Child("channels").Fail("a device behind a hub cannot be a hub itself");
        d.hub = true;
        ParseChannels(n.Child("channels"), d);
        d.selectedChannel = 1;
        for (int ch = 4; ch >= 1; --ch)
            if (!d.channels[ch - 1].empty()) d.selectedChannel = static_cast<std::uint8_t>(ch);
        if (n.Has("channel"))
            d.selectedChannel = static_cast<std::uint8_t>(n.Child("channel").Int(1, 4));
    } else if (n.Has("channel")) {
        n.Child("channel").Fail("only a hub (a device with channels) has a selected channel");
    }
    if (n.Has("history")) {
        const TNode list = n.Child("history");
        for (std::size_t i = 0, k = list.ArraySize(1000); i < k; ++i) {
            const TNode h = list.At(i);
            h.ExpectObject({"time", "device", "param", "value", "state", "device_state"});
            TSimHistoryRecord r;
            r.time = ParseClock(h.Child("time"));
            r.devAddress = h.Has("device") ? h.Child("device").Byte() : d.address;
            r.paramId = h.Child("param").Byte();
            r.value = static_cast<std::uint16_t>(h.Child("value").Int(0, 65535));
            r.state = h.Has("state") ? h.Child("state").Byte() : 0;
            r.devState = h.Has("device_state") ? h.Child("device_state").Byte() : 0;
            d.history.push_back(r);
        }
    }
    auto count = [](std::size_t v) { return static_cast<std::uint8_t>(v); };
    d.maxAttributes = count(d.attributes.size());
    d.maxParameters = count(d.parameters.size());
    d.maxControls = count(d.controls.size());
    d.maxCommands = count(d.commands.size());
    if (n.Has("max")) {
        const TNode m = n.Child("max");
        m.ExpectObject({"attributes", "parameters", "controls", "commands"});
        auto room = [&](const char* key, std::uint8_t& slot) {
            if (!m.Has(key)) return;
            const long v = m.Child(key).Int(slot, 255);
            slot = static_cast<std::uint8_t>(v);
        };
        room("attributes", d.maxAttributes);
        room("parameters", d.maxParameters);
        room("controls", d.maxControls);
        room("commands", d.maxCommands);
    }
    return d;
}

TModemSettings ParseModem(const TNode& n) {
    n.ExpectObject({"hayes_model", "gsm_model", "csq", "creg", "dial", "connect_delay_ms",
                    "connect_text", "guard_ms", "echo"});
    TModemSettings m;
    if (n.Has("hayes_model")) m.hayesModel = n.Child("hayes_model").Text(120);
    if (n.Has("gsm_model")) m.gsmModel = n.Child("gsm_model").Text(120);
    if (n.Has("csq")) {
        const long v = n.Child("csq").Int(0, 99);
        if (v > 31 && v != 99)
            n.Child("csq").Fail("a signal level is 0..31, or 99 when none can be measured");
        m.csq = static_cast<std::uint8_t>(v);
    }
    if (n.Has("creg")) m.creg = n.Child("creg").Text(20);
    if (n.Has("dial")) {
        const std::string s = n.Child("dial").Text();
        using TDial = TModemSettings::TDial;
        if (s == "connect")
            m.dial = TDial::Connect;
        else if (s == "busy")
            m.dial = TDial::Busy;
        else if (s == "no_carrier")
            m.dial = TDial::NoCarrier;
        else if (s == "none")
            m.dial = TDial::None;
        else
            n.Child("dial").Fail("\"" + s + "\" is not one of connect, busy, no_carrier, none");
    }
    if (n.Has("connect_delay_ms"))
        m.connectDelayMs = static_cast<int>(n.Child("connect_delay_ms").Int(0, 600000));
    if (n.Has("connect_text")) m.connectText = n.Child("connect_text").Text(60);
    if (n.Has("guard_ms")) m.guardMs = static_cast<int>(n.Child("guard_ms").Int(20, 5100));
    if (n.Has("echo")) m.echo = n.Child("echo").Bool();
    return m;
}

} // namespace

TSiteConfig ParseSite(const std::string& text, const std::string& origin) {
    json j;
    try {
        j = json::parse(text);
    } catch (const json::exception& e) {
        // Syntax errors name line and column; a number beyond a double
        // (1e999) is the library's out_of_range, refused the same way.
        throw ESimError(origin + ": not valid JSON: " + e.what());
    }
    const TNode root(j, origin, "");
    root.ExpectObject(
        {"name", "password", "clock", "seed", "excursion_interval_s", "modem", "devices"});
    TSiteConfig s;
    s.name = root.Has("name") ? root.Child("name").Text() : "";
    s.password = root.Has("password") ? root.Child("password").Text(250) : "";
    s.clock = root.Has("clock") ? ParseClock(root.Child("clock")) : TSimClock{0, 0, 0, 1, 1, 2026};
    s.seed =
        root.Has("seed") ? static_cast<std::uint32_t>(root.Child("seed").Int(0, 0xFFFFFFFFL)) : 1;
    s.excursionIntervalS =
        root.Has("excursion_interval_s")
            ? static_cast<int>(root.Child("excursion_interval_s").Int(0, 86400 * 30))
            : 600;
    if (root.Has("modem")) s.modem = ParseModem(root.Child("modem"));
    const TNode list = root.Child("devices");
    std::set<std::uint8_t> taken;
    for (std::size_t i = 0, k = list.ArraySize(14); i < k; ++i)
        s.devices.push_back(ParseDevice(list.At(i), 0, taken));
    if (s.devices.empty()) list.Fail("a site needs at least one device");
    return s;
}

TSiteConfig LoadSiteFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw ESimError(path + ": cannot be opened");
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) throw ESimError(path + ": cannot be read");
    return ParseSite(text.str(), path);
}

} // namespace sim
