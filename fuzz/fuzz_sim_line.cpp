// Arbitrary bytes from the program into each kind of line front: the frame
// collector, the site's request handling and the modem's AT parser.
// The first byte picks the line kind; each further 0x00 byte lets 700 ms pass.
#include "LineFront.h"
#include "ReferenceSite.h"
#include "SiteJson.h"

namespace {

class TNullLine : public sim::ISimLine {
public:
    void Write(const Bytes&) override {}
    void SetModemLines(std::uint8_t) override {}
};

const sim::TSiteConfig& Reference() {
    static const sim::TSiteConfig config = [] {
        auto c = sim::ParseSite(sim::kReferenceSite, "reference");
        c.modem.connectDelayMs = 100;
        c.modem.guardMs = 50;
        return c;
    }();
    return config;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    sim::TSite site(Reference());
    TNullLine line;
    const auto kind = static_cast<sim::TLineKind>(data[0] % 5);
    auto front = sim::MakeFront(kind, site, line, {}, {});
    sim::Millis now{0};
    std::size_t from = 1;
    for (std::size_t i = 1; i <= size; ++i) {
        if (i == size || data[i] == 0) {
            front->Receive(data + from, i - from, now);
            now += sim::Millis(700);
            front->Advance(now);
            from = i + 1;
        }
    }
    return 0;
}
