// What the site sends, read with the device object model the way the session
// controller applies it: every device of a discovery ends complete, with the
// names and values of the site file.
#include "ObjectsList.h"
#include "SimHarness.h"
#include "ValueFormat.h"

#include <cmath>
#include <gtest/gtest.h>

using namespace simtest;

namespace {

// The row rule: a table that has not yet reached its announced count gains
// a row, one that has updates in place.
template <class TTab> void Row(TTab& tab, int announced, TMemoryStream& body, bool child) {
    if (announced > tab.ItemCount()) {
        child ? tab.AddChildRow(body) : tab.AddRow(body);
    } else {
        child ? tab.ReadChildRow(body) : tab.ReadRow(body);
    }
}

void Apply(TObjectsList& site, const sim::TFrame& f) {
    TMemoryStream body(f.body);
    TLANObject* d = site.FindByAddress(f.src);
    if (f.opcode == sim::opDefinition) {
        if (!d) {
            d = site.AddDevice();
            d->SetLanAddress(f.src);
        }
        d->Definition().ReadDefinition(body);
        return;
    }
    if (!d) return;
    TLANObject* c = nullptr;
    if (f.opcode == sim::opChildDefinition) {
        c = d->Children().FindByAddress(f.body[0]);
        if (!c) {
            c = d->Children().AddDevice();
            site.AppendReference(c);
        }
        c->Definition().ReadChildDefinition(body);
        c->SetLanAddress(f.body[0]);
        c->SetOwnerAddress(f.src);
        return;
    }
    const bool child = f.opcode == sim::opChildAttributeRow ||
                       f.opcode == sim::opChildParameterRow || f.opcode == sim::opChildControlRow ||
                       f.opcode == sim::opChildCommandRow ||
                       f.opcode == sim::opChildParameterValues;
    if (child) {
        c = d->Children().FindByAddress(f.body[0]);
        if (!c) return;
        d = c;
    }
    switch (f.opcode) {
    case sim::opAttributeRow:
    case sim::opChildAttributeRow:
        Row(d->Attributes(), d->GetAttrCount(), body, child);
        break;
    case sim::opParameterRow:
    case sim::opChildParameterRow:
        Row(d->Parameters(), d->GetParamCount(), body, child);
        break;
    case sim::opControlRow:
    case sim::opChildControlRow:
        Row(d->Controls(), d->GetControlsCount(), body, child);
        break;
    case sim::opCommandRow:
    case sim::opChildCommandRow:
        Row(d->Commands(), d->GetCommandCount(), body, child);
        break;
    case sim::opParameterValues:
        d->Parameters().ReadValues(body);
        break;
    case sim::opChildParameterValues:
        d->Parameters().ReadChildValues(body);
        break;
    default:
        break;
    }
}

} // namespace

TEST(SimAgainstModel, ADiscoveryOfTheReferenceSiteFillsTheDeviceTree) {
    THarness h(THarness::Reference());
    TObjectsList tree;
    h.Write(Request(0, sim::opPoll));
    h.Write(EndOfTurn());
    h.Run(100);
    std::uint8_t seq = 2;
    for (const auto& f : h.Frames())
        if (f.opcode == sim::opPresent) h.Write(Request(f.src, sim::opGetDefinition, {}, seq++));
    h.Write(EndOfTurn());
    h.Run(100);
    for (const auto& f : h.Frames())
        Apply(tree, f);

    ASSERT_EQ(tree.Count(), 4 + 3) << "the bus devices and channel 1 behind the hub";
    for (int i = 0; i < tree.Count(); ++i) {
        TLANObject* d = tree.GetDevice(i);
        SCOPED_TRACE(d->GetLanAddress());
        EXPECT_TRUE(d->IsComplete());
        const sim::TSimDevice* s = h.site.FindDevice(static_cast<std::uint8_t>(d->GetLanAddress()));
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(d->GetDevID(), s->devId);
        EXPECT_EQ(d->GetProgramVersion(), s->version);
        EXPECT_EQ(d->Attributes().FindValue("Serial Number"), s->attributes[1].value);
        for (int p = 0; p < d->ParameterCount(); ++p) {
            d->Parameters().SetCurrent(p);
            EXPECT_EQ(d->Parameters().GetName(), s->parameters[p].name);
            EXPECT_EQ(d->Parameters().GetDim(), s->parameters[p].dim);
            EXPECT_EQ(d->Parameters().GetMax(), s->parameters[p].max);
            EXPECT_EQ(d->Parameters().GetThreshold(),
                      std::nearbyint(s->parameters[p].threshold * 100.0 / s->parameters[p].scale));
        }
        for (int c = 0; c < d->CommandCount(); ++c) {
            d->Commands().SetCurrent(c);
            EXPECT_EQ(d->Commands().GetName(), s->commands[c].name);
        }
    }
    TLANObject* tx = tree.FindByAddress(3); // system controller
    tx->Parameters().SetCurrent(0);
    EXPECT_EQ(tx->Parameters().GetName(), "Antenna Forward Power");
    EXPECT_EQ(FormatValue(tx->Parameters().GetFormat(), tx->Parameters().GetValue()), "2450");
    TLANObject* exciter = tree.FindByAddress(5)->Children().FindByAddress(0x13);
    ASSERT_NE(exciter, nullptr);
    exciter->Parameters().SetCurrent(10);
    EXPECT_EQ(exciter->Parameters().GetName(), "PA Temperature");
    EXPECT_EQ(exciter->Parameters().GetDim(), "\xB0"
                                              "C");

    // Values read later land on the same rows.
    h.Run(30000);
    h.Frames();
    h.Write(Request(0x13, sim::opGetParameterValues, {0xFF}, seq++));
    h.Write(EndOfTurn());
    h.Run(100);
    for (const auto& f : h.Frames())
        Apply(tree, f);
    exciter->Parameters().SetCurrent(10);
    EXPECT_EQ(exciter->Parameters().GetValue(), h.site.FindDevice(0x13)->parameters[10].value);
}
