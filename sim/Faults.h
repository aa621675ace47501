// Fault injection: what the line does to the bytes a site sends, and the
// device faults (a device that falls silent, one that answers for another
// address), with the text form that `--faults` takes:
//
//   ber=P          flip each bit with probability P
//   lost=P         drop each byte with probability P
//   insert=P       after each byte insert a random one with probability P
//   gap=P[:MS]     hold back the tail of a frame by MS ms (default 80)
//   garbage=P      send 1..8 noise bytes before a frame
//   silent=A[@S]   device A stops answering (at S seconds, default 0)
//   answers=A:B    device A answers with source address B
//   dropcarrier=S  the far modem hangs up S seconds into each call
//   seed=N         random seed of the line faults
//
// Items are separated by commas; addresses are decimal or 0x-hex.
#pragma once

#include "Site.h"

#include <random>
#include <string>
#include <vector>

namespace sim {

struct TLineFaults {
    double bitErrorRate = 0;
    double lostByteRate = 0;
    double insertedByteRate = 0;
    double gapRate = 0;
    int gapMs = 80;
    double garbageRate = 0;
    int dropCarrierAfterS = -1;
    std::uint32_t seed = 1;
};

struct TFaultSpec {
    TLineFaults line;
    TDeviceFaults devices;
};

// Throws ESimError naming the item that is wrong.
TFaultSpec ParseFaultSpec(const std::string& text);

// Bytes handed to the line, with the delay after the frame's turn at which
// they are to be written.
struct TChunk {
    Millis delay{0};
    Bytes bytes;
};

class TFaultInjector {
public:
    explicit TFaultInjector(const TLineFaults& faults) : faults_(faults), rng_(faults.seed) {}
    // One frame's wire bytes as they reach the program.
    std::vector<TChunk> Apply(const Bytes& wire);

private:
    bool Chance(double p);
    TLineFaults faults_;
    std::mt19937 rng_;
};

} // namespace sim
