#include "Faults.h"

#include "SimError.h"

#include <charconv>

namespace sim {

namespace {

std::vector<std::string> Split(const std::string& s, char sep) {
    std::vector<std::string> out;
    std::string cur;
    for (char c : s) {
        if (c == sep) {
            out.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    out.push_back(cur);
    return out;
}

bool ParseDouble(const std::string& s, double& v) {
    if (s.empty()) return false;
    const char* end = s.data() + s.size();
    auto [p, ec] = std::from_chars(s.data(), end, v);
    return ec == std::errc() && p == end;
}

bool ParseInt(const std::string& s, long& v, long lo, long hi) {
    if (s.empty()) return false;
    int base = 10;
    std::size_t from = 0;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        base = 16;
        from = 2;
    }
    const char* end = s.data() + s.size();
    auto [p, ec] = std::from_chars(s.data() + from, end, v, base);
    return ec == std::errc() && p == end && v >= lo && v <= hi;
}

} // namespace

TFaultSpec ParseFaultSpec(const std::string& text) {
    TFaultSpec spec;
    if (text.empty()) return spec;
    const auto items = Split(text, ',');
    for (std::size_t n = 0; n < items.size(); ++n) {
        const std::string& item = items[n];
        auto fail = [&](const std::string& why) {
            throw ESimError("faults: item " + std::to_string(n + 1) + " \"" + item + "\": " + why);
        };
        const auto eq = item.find('=');
        if (eq == std::string::npos) fail("expected KEY=VALUE");
        const std::string key = item.substr(0, eq);
        const std::string value = item.substr(eq + 1);
        auto probability = [&](const std::string& s) {
            double p = 0;
            if (!ParseDouble(s, p) || !(p >= 0 && p <= 1))
                fail("not a probability between 0 and 1");
            return p;
        };
        auto address = [&](const std::string& s) {
            long a = 0;
            if (!ParseInt(s, a, 0, 255)) fail("\"" + s + "\" is not a bus address 0..255");
            return static_cast<std::uint8_t>(a);
        };
        if (key == "ber") {
            spec.line.bitErrorRate = probability(value);
        } else if (key == "lost") {
            spec.line.lostByteRate = probability(value);
        } else if (key == "insert") {
            spec.line.insertedByteRate = probability(value);
        } else if (key == "garbage") {
            spec.line.garbageRate = probability(value);
        } else if (key == "gap") {
            const auto parts = Split(value, ':');
            if (parts.size() > 2) fail("expected P or P:MS");
            spec.line.gapRate = probability(parts[0]);
            if (parts.size() == 2) {
                long ms = 0;
                if (!ParseInt(parts[1], ms, 1, 60000)) fail("gap length must be 1..60000 ms");
                spec.line.gapMs = static_cast<int>(ms);
            }
        } else if (key == "silent") {
            const auto parts = Split(value, '@');
            if (parts.size() > 2) fail("expected ADDRESS or ADDRESS@SECONDS");
            long s = 0;
            if (parts.size() == 2 && !ParseInt(parts[1], s, 0, 86400 * 365))
                fail("seconds must be a whole number");
            spec.devices.silentFrom[address(parts[0])] = Millis(s * 1000);
        } else if (key == "answers") {
            const auto parts = Split(value, ':');
            if (parts.size() != 2) fail("expected ADDRESS:AS");
            spec.devices.answersAs[address(parts[0])] = address(parts[1]);
        } else if (key == "dropcarrier") {
            long s = 0;
            if (!ParseInt(value, s, 0, 86400)) fail("seconds must be 0..86400");
            spec.line.dropCarrierAfterS = static_cast<int>(s);
        } else if (key == "seed") {
            long s = 0;
            if (!ParseInt(value, s, 0, 0xFFFFFFFFL)) fail("seed must be a whole number");
            spec.line.seed = static_cast<std::uint32_t>(s);
        } else {
            fail("unknown fault \"" + key + "\"");
        }
    }
    return spec;
}

bool TFaultInjector::Chance(double p) {
    if (p <= 0) return false;
    if (p >= 1) return true;
    return std::uniform_real_distribution<double>(0.0, 1.0)(rng_) < p;
}

std::vector<TChunk> TFaultInjector::Apply(const Bytes& wire) {
    std::vector<TChunk> out;
    if (Chance(faults_.garbageRate)) {
        // Noise between frames: never a frame start or end, so the program's
        // receiver must drop it as noise rather than see a broken frame.
        std::uniform_int_distribution<int> count(1, 8), byte(0, 0xFD);
        TChunk noise;
        for (int i = count(rng_); i > 0; --i)
            noise.bytes.push_back(static_cast<std::uint8_t>(byte(rng_)));
        out.push_back(std::move(noise));
    }
    Bytes bytes;
    bytes.reserve(wire.size() + 4);
    std::uniform_int_distribution<int> anyByte(0, 255);
    for (std::uint8_t b : wire) {
        if (Chance(faults_.lostByteRate)) continue;
        for (int bit = 0; bit < 8; ++bit)
            if (Chance(faults_.bitErrorRate)) b ^= static_cast<std::uint8_t>(1 << bit);
        bytes.push_back(b);
        if (Chance(faults_.insertedByteRate))
            bytes.push_back(static_cast<std::uint8_t>(anyByte(rng_)));
    }
    if (bytes.size() > 2 && Chance(faults_.gapRate)) {
        std::uniform_int_distribution<std::size_t> at(1, bytes.size() - 1);
        const std::size_t cut = at(rng_);
        out.push_back(
            {Millis(0), Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(cut))});
        out.push_back({Millis(faults_.gapMs),
                       Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(cut), bytes.end())});
    } else {
        out.push_back({Millis(0), std::move(bytes)});
    }
    return out;
}

} // namespace sim
