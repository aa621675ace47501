// Arbitrary text as a --faults list: refused with ESimError or
// read into values within their ranges.
#include "Faults.h"
#include "SimError.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    sim::TFaultSpec spec;
    try {
        spec = sim::ParseFaultSpec(std::string(reinterpret_cast<const char*>(data), size));
    } catch (const sim::ESimError&) {
        return 0;
    }
    for (double p : {spec.line.bitErrorRate, spec.line.lostByteRate, spec.line.insertedByteRate,
                     spec.line.gapRate, spec.line.garbageRate})
        if (!(p >= 0 && p <= 1)) __builtin_trap();
    sim::TFaultInjector injector(spec.line);
    injector.Apply(sim::EscapeFrame(sim::BuildFrame(1, 2, 3, 4, {5, 6})));
    return 0;
}
