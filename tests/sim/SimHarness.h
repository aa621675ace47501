// A simulated line driven by a test clock: the test plays the program,
// writing request frames and reading what the site wrote back.
#pragma once

#include "Faults.h"
#include "LineFront.h"
#include "ReferenceSite.h"
#include "SimFrame.h"
#include "Site.h"
#include "SiteJson.h"

#include <memory>
#include <string>
#include <vector>

namespace simtest {

using ::Bytes;
using sim::Millis;

class TRecordingLine : public sim::ISimLine {
public:
    void Write(const Bytes& b) override { written.insert(written.end(), b.begin(), b.end()); }
    void SetModemLines(std::uint8_t s) override { lines = s; }
    Bytes written;
    std::uint8_t lines = 0;
};

// The wire form of a request as the program builds it (source 1).
inline Bytes Request(std::uint8_t dest, std::uint8_t opcode, const Bytes& body = {},
                     std::uint8_t seq = 1) {
    return sim::EscapeFrame(sim::BuildFrame(dest, sim::kProgramAddress, seq, opcode, body));
}
inline Bytes EndOfTurn() {
    return sim::EscapeFrame(sim::BuildFrame(0, 1, 0, sim::opEndOfTurn, {}));
}

class THarness {
public:
    explicit THarness(sim::TSiteConfig config, sim::TLineKind kind = sim::TLineKind::Bus,
                      sim::TLineOptions options = {}, const sim::TFaultSpec& faults = {})
        : site(std::move(config), faults.devices) {
        front = sim::MakeFront(kind, site, line, options, faults.line);
    }
    static sim::TSiteConfig Reference() { return sim::ParseSite(sim::kReferenceSite, "reference"); }

    void Write(const Bytes& b) { front->Receive(b.data(), b.size(), now); }
    void Write(const std::string& s) { Write(Bytes(s.begin(), s.end())); }
    // Lets `ms` pass, stopping at every moment the front has work.
    void Run(long ms) {
        const Millis end = now + Millis(ms);
        for (auto due = front->NextDue(); due && *due <= end; due = front->NextDue()) {
            now = std::max(now, *due);
            front->Advance(now);
        }
        now = end;
        front->Advance(now);
    }
    // Checked frames written since the last call; bad ones are counted.
    std::vector<sim::TFrame> Frames() {
        std::vector<sim::TFrame> out;
        sim::TFrameCollector c;
        for (const Bytes& raw : c.Feed(line.written.data(), line.written.size())) {
            if (auto f = sim::DecodeFrame(raw))
                out.push_back(*f);
            else
                ++badFrames;
        }
        line.written.clear();
        return out;
    }
    std::string Text() {
        std::string s(line.written.begin(), line.written.end());
        line.written.clear();
        return s;
    }

    sim::TSite site;
    TRecordingLine line;
    std::unique_ptr<sim::TLineFront> front;
    Millis now{0};
    int badFrames = 0;
};

} // namespace simtest
