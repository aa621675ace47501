#include "SimError.h"
#include "SimHarness.h"

#include <gtest/gtest.h>
#include <set>

using namespace simtest;

namespace {

std::vector<const sim::TSimDevice*> AllDevices(const sim::TSiteConfig& s) {
    std::vector<const sim::TSimDevice*> all;
    for (const auto& d : s.devices) {
        all.push_back(&d);
        for (const auto& ch : d.channels)
            for (const auto& c : ch)
                all.push_back(&c);
    }
    return all;
}

std::string Attr(const sim::TSimDevice& d, const std::string& name) {
    for (const auto& a : d.attributes)
        if (a.name == name) return a.value;
    return "";
}

} // namespace

TEST(SiteFile, ReferenceSiteIsAWholeTransmitterSite) {
    const sim::TSiteConfig s = sim::LoadSiteFile(TVS_SIM_SITES_DIR "/reference.json");
    const auto all = AllDevices(s);
    EXPECT_EQ(all.size(), 12u);
    std::set<int> types;
    std::set<std::string> serials;
    for (const auto* d : all) {
        types.insert(d->devId);
        SCOPED_TRACE(Attr(*d, "Device Name"));
        EXPECT_FALSE(Attr(*d, "Device Name").empty());
        EXPECT_FALSE(Attr(*d, "Object Name").empty());
        EXPECT_TRUE(serials.insert(Attr(*d, "Serial Number")).second)
            << "serial numbers are unique";
        EXPECT_GE(d->parameters.size(), 10u);
        EXPECT_LE(d->parameters.size(), 30u);
        EXPECT_FALSE(d->commands.empty());
        for (const auto& p : d->parameters) {
            EXPECT_LE(p.min, p.value) << p.name << " starts within its limits";
            EXPECT_LE(p.value, p.max) << p.name << " starts within its limits";
        }
    }
    // Server, PLL, TV exciter, TV amplifier, TV driver, combiner, system controller, hub.
    EXPECT_EQ(types, (std::set<int>{1, 20, 11, 31, 41, 43, 50, 90}));
    const auto& hub = s.devices[3];
    EXPECT_TRUE(hub.hub);
    int used = 0;
    for (const auto& ch : hub.channels)
        used += !ch.empty();
    EXPECT_GE(used, 3);
    EXPECT_EQ(hub.channels[1][0].address, 0x23) << "children carry the channel in the high nibble";
    // The built-in copy is the shipped file.
    EXPECT_EQ(AllDevices(THarness::Reference()).size(), all.size());
}

TEST(SiteFile, EngineeringUnitsBecomeRawWordsAndTextsBecomeWindows1252) {
    const auto s = sim::ParseSite(R"({"devices": [{"address": 2, "type": 31,
        "attributes": [{"name": "Price", "value": "12 €"}],
        "parameters": [{"name": "PA Temperature", "unit": "°C", "format": "0x41",
                        "scale": 100.0, "value": 44.5, "min": 5, "max": 65.0, "threshold": 90}]}]})");
    const auto& p = s.devices[0].parameters[0];
    EXPECT_EQ(p.scale, 1000);
    EXPECT_EQ(p.value, 445);
    EXPECT_EQ(p.min, 50);
    EXPECT_EQ(p.max, 650);
    EXPECT_EQ(p.dim, "\xB0"
                     "C");
    EXPECT_EQ(s.devices[0].attributes[0].value, "12 \x80");
}

TEST(SiteFile, BadFilesAreRefusedNamingThePlace) {
    struct Case {
        const char* json;
        const char* message;
    };
    const Case cases[] = {
        {R"({"devices": [)", "not valid JSON"},
        {R"({"seed": 4e999, "devices": []})", "not valid JSON"},
        {R"({"seed": 18446744073709551615, "devices": []})",
         "seed: 18446744073709551615 is outside 0..4294967295"},
        {R"({"devices": []})", "devices: a site needs at least one device"},
        {R"({"devices": [{"address": 1, "type": 1}]})", "devices[0].address: 1 is outside 2..15"},
        {R"({"devices": [{"address": 2, "type": 1}, {"address": 2, "type": 1}]})",
         "devices[1].address: address 2 is used twice"},
        {R"({"devices": [{"address": 2, "type": 1, "colour": "red"}]})",
         "devices[0].colour: unknown key"},
        {R"({"devices": [{"address": 2, "type": 1, "parameters": [{"name": "P", "scale": 100, "value": 50, "max": 120}]}]})",
         "devices[0].parameters[0].max: above the scale"},
        {R"({"devices": [{"address": 2, "type": 1, "parameters": [{"name": "P", "format": "0x42", "scale": 700, "value": 1}]}]})",
         "devices[0].parameters[0].scale: 700 gives the raw value 70000 at format 0x42, outside "
         "0..65535"},
        {R"({"devices": [{"address": 2, "type": 1, "commands": [{"name": "On"}]}]})",
         "devices[0].commands[0].name: a command name needs at least 3 characters"},
        {R"({"devices": [{"address": 2, "type": 1, "controls": [{"name": "C", "value": 9, "min": 10, "max": 20}]}]})",
         "devices[0].controls[0].value: outside min..max"},
        {R"({"devices": [{"address": 5, "type": 90, "channels": {"2": [{"address": "3", "type": 31}]}}]})",
         "devices[0].channels.2[0].address: expected a whole number"},
        {R"({"devices": [{"address": 5, "type": 90, "channels": {"2": [{"address": 0x13, "type": 31}]}}]})",
         "not valid JSON"},
        {R"({"devices": [{"address": 5, "type": 90, "channels": {"2": [{"address": 19, "type": 31}]}}]})",
         "devices[0].channels.2[0].address: a device on channel 2 has the hub number 2 in the high "
         "nibble"},
        {R"({"clock": "2026-02-30T00:00:00", "devices": [{"address": 2, "type": 1}]})",
         "clock: \"2026-02-30T00:00:00\" is not a valid time"},
        {R"({"devices": [{"address": 2, "type": 1, "attributes": [{"name": "Tick ✓"}]}]})",
         "devices[0].attributes[0].name: the character U+2713 has no windows-1252 form"},
        {R"({"modem": {"csq": 40}, "devices": [{"address": 2, "type": 1}]})",
         "modem.csq: a signal level is 0..31, or 99 when none can be measured"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.json);
        try {
            sim::ParseSite(c.json, "site.json");
            ADD_FAILURE() << "accepted";
        } catch (const sim::ESimError& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
            EXPECT_EQ(std::string(e.what()).rfind("site.json: ", 0), 0u) << e.what();
        }
    }
}

TEST(SiteFile, MissingFileIsRefusedWithItsPath) {
    try {
        sim::LoadSiteFile("/nonexistent/site.json");
        FAIL();
    } catch (const sim::ESimError& e) {
        EXPECT_STREQ(e.what(), "/nonexistent/site.json: cannot be opened");
    }
}
