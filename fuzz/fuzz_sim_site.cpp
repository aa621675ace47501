// Arbitrary text as a site file: refused with ESimError, or a site that
// answers a discovery without failing.
#include "SimError.h"
#include "Site.h"
#include "SiteJson.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    sim::TSiteConfig config;
    try {
        config = sim::ParseSite(std::string(reinterpret_cast<const char*>(data), size), "fuzz");
    } catch (const sim::ESimError&) {
        return 0;
    }
    sim::TSite site(std::move(config));
    site.Receive({0, 1, 1, sim::opPoll, {}}, sim::Millis(0));
    for (const auto& d : site.Config().devices)
        site.Receive({d.address, 1, 2, sim::opGetDefinition, {}}, sim::Millis(0));
    site.Advance(sim::Millis(5000));
    for (const Bytes& f : site.Outbox())
        if (!sim::DecodeFrame(f)) __builtin_trap(); // every frame the site builds is well formed
    return 0;
}
