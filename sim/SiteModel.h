// What a simulated site is made of: devices with their tables, hubs with
// their children, and the site-wide settings. Plain data, filled by the JSON
// loader (SiteJson.h) and driven by TSite (Site.h).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace sim {

// Device state bits the program's indicators read.
inline constexpr std::uint8_t kStateTemp = 0x02;
inline constexpr std::uint8_t kStateOverCurrent = 0x04;
inline constexpr std::uint8_t kStateVswr = 0x08;
inline constexpr std::uint8_t kStateAlarm = 0x80;

enum class TAlarmKind { None, General, Temperature, OverCurrent, Vswr };
enum class TCommandAction { None, ClearAlarms, RfOn, RfOff, Reset };

// A second-resolution civil time; the devices' clocks travel in this shape.
struct TSimClock {
    std::uint8_t second = 0, minute = 0, hour = 0, day = 1, month = 1;
    std::uint16_t year = 2001;
};

struct TSimAttribute {
    std::string name;
    std::string value;
    std::uint8_t options = 0;
};

// One measured quantity. The wire numbers are raw; `nominal` and `noise` are
// raw too (the loader converts from the engineering units of the file).
struct TSimParameter {
    std::uint8_t group = 0, klass = 0, mode = 0, state = 0, assoc = 0;
    std::uint8_t format = 0x30;
    std::uint16_t scale = 100, value = 0, min = 0, max = 100;
    // The threshold as the device keeps it: raw, on the scale (the program
    // shows it in percent of the scale).
    std::uint16_t threshold = 20;
    std::uint8_t calc = 0;
    std::string name, dim;
    // Simulation: where the value rests, how much it wanders, which state
    // bit it raises beyond its limits, whether it is a set point the
    // operator moves (it then stays where it was set) and whether it follows
    // the transmitter's RF output.
    double nominal = 0;
    double noise = 0;
    TAlarmKind alarm = TAlarmKind::None;
    bool setpoint = false;
    bool rf = false;
    // Extra values of the three-slider set form, kept as the device got them.
    std::uint16_t setU1 = 0, setCurrent = 0;
    // Where the value is now, finer than the raw word, and an excursion
    // beyond the limits under way (target and end, in site seconds).
    double level = 0;
    double excursionTarget = 0;
    long excursionUntilS = -1;
};

struct TSimControl {
    std::uint8_t assoc = 0;
    std::uint16_t value = 0, min = 0, max = 100;
    std::string name;
};

struct TSimCommand {
    std::string name;
    TCommandAction action = TCommandAction::None;
    std::string reply; // a line for the program's port log, if any
};

struct TSimHistoryRecord {
    TSimClock time;
    std::uint8_t devAddress = 0, paramId = 0;
    std::uint16_t value = 0;
    std::uint8_t state = 0, devState = 0;
};

struct TSimDevice {
    std::uint8_t address = 0; // full bus address (hub number in the high nibble for a child)
    std::uint8_t line = 0;
    std::uint8_t devId = 0, mode = 0, state = 0;
    std::string version;
    std::vector<TSimAttribute> attributes;
    std::vector<TSimParameter> parameters;
    std::vector<TSimControl> controls;
    std::vector<TSimCommand> commands;
    std::vector<TSimHistoryRecord> history;
    // The "max" counts of the definition; at least the counts, and the room
    // the library editor has for appending rows.
    std::uint8_t maxAttributes = 0, maxParameters = 0, maxControls = 0, maxCommands = 0;
    std::uint8_t calibration = 0; // wire form: magnitude bits 0..4, sign bit 5
    // Hub controllers only: the devices behind each of the four channels.
    bool hub = false;
    std::array<std::vector<TSimDevice>, 4> channels;
    std::uint8_t selectedChannel = 1;
    // Alarm bits that stay set until a clear-alarms command.
    std::uint8_t latched = 0;
    bool rfOff = false;
    long long clockOffsetS = 0;    // the device's clock minus the site's
    bool channelReportDue = false; // a hub switched channel: report at the next poll
};

struct TModemSettings {
    std::string hayesModel = "HCF 56K Modem";
    std::string gsmModel = "MC35i";
    std::uint8_t csq = 20;    // AT+CSQ level, 0..31 or 99
    std::string creg = "0,1"; // AT+CREG? reply after "+CREG: "
    enum class TDial { Connect, Busy, NoCarrier, None } dial = TDial::Connect;
    int connectDelayMs = 3000;
    std::string connectText = "CONNECT 9600";
    int guardMs = 1000; // "+++" escape guard time
    bool echo = true;   // echo at power-up (ATE0 turns it off)
};

struct TSiteConfig {
    std::string name;
    std::string password; // dial-up access password
    TSimClock clock;      // the site's clock when the simulation starts
    std::uint32_t seed = 1;
    int excursionIntervalS = 600;    // mean time between two excursions; 0: never
    std::vector<TSimDevice> devices; // on the site's bus, in answer order
    TModemSettings modem;
};

} // namespace sim
