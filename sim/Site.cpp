#include "Site.h"

#include <algorithm>
#include <cmath>

namespace sim {

namespace {

// The longest values reply that fits a body: count byte and 84 triples.
constexpr std::size_t kValuesPerFrame = 84;
// History records of 13 bytes after the count byte.
constexpr std::size_t kRecordsPerFrame = 19;
constexpr std::size_t kHistoryKept = 200;
constexpr std::size_t kUnaskedBacklog = 32;

long long DaysFromCivil(int y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return static_cast<long long>(era) * 146097 + static_cast<long long>(doe) - 719468;
}

std::uint8_t AlarmBit(TAlarmKind k) {
    switch (k) {
    case TAlarmKind::Temperature:
        return kStateTemp;
    case TAlarmKind::OverCurrent:
        return kStateOverCurrent;
    case TAlarmKind::Vswr:
        return kStateVswr;
    default:
        return 0;
    }
}

std::string AttributeValue(const TSimDevice& d, const std::string& name) {
    for (const auto& a : d.attributes)
        if (a.name == name) return a.value;
    return {};
}

void Put(Bytes& b, std::uint8_t v) {
    b.push_back(v);
}
void PutWord(Bytes& b, std::uint16_t w) {
    b.push_back(static_cast<std::uint8_t>(w & 0xFF));
    b.push_back(static_cast<std::uint8_t>(w >> 8));
}
void PutText(Bytes& b, const std::string& s) {
    TMemoryStream m;
    WriteShortString(m, s);
    b.insert(b.end(), m.Data().begin(), m.Data().end());
}

Bytes DefinitionForm(const TSimDevice& d, std::uint8_t owner) {
    const std::uint8_t children =
        d.hub ? static_cast<std::uint8_t>(d.channels[d.selectedChannel - 1].size()) : 0;
    std::size_t allChildren = 0;
    for (const auto& ch : d.channels)
        allChildren += ch.size();
    Bytes b{d.line,
            owner,
            d.devId,
            d.mode,
            d.state,
            static_cast<std::uint8_t>(d.attributes.size()),
            static_cast<std::uint8_t>(d.parameters.size()),
            static_cast<std::uint8_t>(d.controls.size()),
            static_cast<std::uint8_t>(d.commands.size()),
            children,
            d.maxAttributes,
            d.maxParameters,
            d.maxControls,
            d.maxCommands,
            static_cast<std::uint8_t>(std::min<std::size_t>(allChildren, 255))};
    PutText(b, d.version);
    return b;
}

Bytes AttributeRowForm(const TSimDevice& d, std::size_t i) {
    const auto& a = d.attributes[i];
    Bytes b{static_cast<std::uint8_t>(i)};
    PutText(b, a.name);
    PutText(b, a.value);
    Put(b, a.options);
    return b;
}

Bytes ParameterRowForm(const TSimDevice& d, std::size_t i) {
    const auto& p = d.parameters[i];
    Bytes b{static_cast<std::uint8_t>(i), p.group, p.klass, p.mode, p.state, p.assoc, p.format};
    PutWord(b, p.scale);
    PutWord(b, p.value);
    PutWord(b, p.min);
    PutWord(b, p.max);
    PutWord(b, p.threshold);
    Put(b, p.calc);
    PutText(b, p.name);
    PutText(b, p.dim);
    return b;
}

Bytes ControlRowForm(const TSimDevice& d, std::size_t i) {
    const auto& c = d.controls[i];
    Bytes b{static_cast<std::uint8_t>(i), c.assoc};
    PutWord(b, c.value);
    PutWord(b, c.min);
    PutWord(b, c.max);
    PutText(b, c.name);
    return b;
}

Bytes CommandRowForm(const TSimDevice& d, std::size_t i) {
    Bytes b{static_cast<std::uint8_t>(i)};
    PutText(b, d.commands[i].name);
    return b;
}

} // namespace

long long EpochSeconds(const TSimClock& c) {
    return DaysFromCivil(c.year, c.month, c.day) * 86400 + c.hour * 3600 + c.minute * 60 + c.second;
}

TSimClock ClockFromEpoch(long long s) {
    long long days = s / 86400;
    long long rem = s % 86400;
    if (rem < 0) {
        rem += 86400;
        --days;
    }
    days += 719468;
    const long long era = (days >= 0 ? days : days - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(days - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    const long long y = static_cast<long long>(yoe) + era * 400 + (m <= 2);
    TSimClock c;
    c.year = static_cast<std::uint16_t>(std::clamp<long long>(y, 0, 65535));
    c.month = static_cast<std::uint8_t>(m);
    c.day = static_cast<std::uint8_t>(d);
    c.hour = static_cast<std::uint8_t>(rem / 3600);
    c.minute = static_cast<std::uint8_t>(rem / 60 % 60);
    c.second = static_cast<std::uint8_t>(rem % 60);
    return c;
}

Bytes ClockForm(const TSimClock& c) {
    Bytes b{c.second, c.minute, c.hour, c.day, c.month};
    PutWord(b, c.year);
    return b;
}

TSite::TSite(TSiteConfig config, TDeviceFaults faults)
    : config_(std::move(config)), faults_(std::move(faults)), rng_(config_.seed) {
    startEpochS_ = EpochSeconds(config_.clock);
    auto init = [](TSimDevice& d) {
        for (auto& p : d.parameters)
            p.level = p.value;
    };
    for (auto& d : config_.devices) {
        init(d);
        for (auto& ch : d.channels)
            for (auto& c : ch)
                init(c);
    }
    if (config_.excursionIntervalS > 0) {
        std::exponential_distribution<double> gap(1.0 / config_.excursionIntervalS);
        nextExcursionS_ = static_cast<long>(gap(rng_)) + 1;
    }
}

std::uint8_t TSite::TurnAddress() const {
    return config_.devices.empty() ? 2 : config_.devices.front().address;
}

TSite::TTarget TSite::Resolve(std::uint8_t address) {
    for (auto& d : config_.devices) {
        if (d.address == address) return {&d, nullptr};
        if (!d.hub) continue;
        for (auto& c : d.channels[d.selectedChannel - 1])
            if (c.address == address) return {&c, &d};
    }
    return {};
}

TSimDevice* TSite::FindDevice(std::uint8_t address) {
    return Resolve(address).device;
}

bool TSite::Silent(std::uint8_t address, Millis now) const {
    const auto it = faults_.silentFrom.find(address);
    return it != faults_.silentFrom.end() && now >= it->second;
}

TSimClock TSite::ClockOf(const TSimDevice& device, Millis now) const {
    return ClockFromEpoch(startEpochS_ + now.count() / 1000 + device.clockOffsetS);
}

void TSite::Emit(std::uint8_t src, std::uint8_t opcode, const Bytes& body) {
    const auto as = faults_.answersAs.find(src);
    if (as != faults_.answersAs.end()) src = as->second;
    if (++sequence_ == 0) sequence_ = 1;
    outbox_.push_back(BuildFrame(kProgramAddress, src, sequence_, opcode, body));
}

void TSite::Send(const TTarget& t, std::uint8_t plainOp, std::uint8_t childOp, const Bytes& form) {
    if (t.hub) {
        Bytes body{t.device->address};
        body.insert(body.end(), form.begin(), form.end());
        Emit(t.hub->address, childOp, body);
    } else {
        Emit(t.device->address, plainOp, form);
    }
}

bool TSite::HasQueuedFrom(std::uint8_t src) const {
    return std::any_of(outbox_.begin(), outbox_.end(),
                       [src](const Bytes& f) { return f.size() > 2 && f[2] == src; });
}

void TSite::Receive(const TFrame& f, Millis now) {
    Advance(now);
    if (f.opcode == opEndOfTurn) return;
    if (f.opcode == opAccessPassword && f.dest == kBroadcast) {
        Password(f);
        return;
    }
    if (accessRequired_) return; // a locked site answers nothing but the password
    if (f.dest == kBroadcast) {
        if (f.opcode == opPoll) Poll(now);
        return;
    }
    TTarget t = Resolve(f.dest);
    if (!t.device) return;
    if (Silent(t.device->address, now) || (t.hub && Silent(t.hub->address, now))) return;
    Apply(t, f, now);
}

void TSite::Password(const TFrame& f) {
    // The program sends the password three times in a row; the first one
    // decides the call and the repeats are not answered.
    if (!accessRequired_ || accessDecided_) return;
    accessDecided_ = true;
    TMemoryStream body(f.body);
    const std::string given = ReadShortString(body);
    // An empty password travels as the single byte 0, which reads as "".
    if (given == config_.password) {
        accessRequired_ = false;
        Emit(TurnAddress(), opAccessGranted, {});
    } else {
        Emit(TurnAddress(), opIllegalPassword, {});
    }
}

void TSite::Poll(Millis now) {
    for (auto& d : config_.devices) {
        if (Silent(d.address, now)) continue;
        // A device still sending its tables has something better to report.
        if (!HasQueuedFrom(d.address)) Emit(d.address, opPresent, {});
        if (d.hub && d.channelReportDue) {
            d.channelReportDue = false;
            SendDefinition({&d, nullptr});
            ReportChannel(d);
        }
    }
}

void TSite::SendDefinition(const TTarget& t) {
    Send(t, opDefinition, opChildDefinition, DefinitionForm(*t.device, t.hub ? t.hub->address : 0));
}

void TSite::SendRows(const TTarget& t) {
    const TSimDevice& d = *t.device;
    for (std::size_t i = 0; i < d.attributes.size(); ++i)
        Send(t, opAttributeRow, opChildAttributeRow, AttributeRowForm(d, i));
    for (std::size_t i = 0; i < d.parameters.size(); ++i)
        Send(t, opParameterRow, opChildParameterRow, ParameterRowForm(d, i));
    for (std::size_t i = 0; i < d.controls.size(); ++i)
        Send(t, opControlRow, opChildControlRow, ControlRowForm(d, i));
    for (std::size_t i = 0; i < d.commands.size(); ++i)
        Send(t, opCommandRow, opChildCommandRow, CommandRowForm(d, i));
}

void TSite::ReportDevice(const TTarget& t) {
    SendDefinition(t);
    SendRows(t);
    if (t.device->hub) ReportChannel(*t.device);
}

void TSite::ReportChannel(TSimDevice& hub) {
    auto& children = hub.channels[hub.selectedChannel - 1];
    for (auto& c : children)
        SendDefinition({&c, &hub});
    for (auto& c : children)
        SendRows({&c, &hub});
    std::uint8_t flags = hub.state & 0x0F;
    for (int ch = 0; ch < 4; ++ch)
        if (!hub.channels[ch].empty()) flags |= static_cast<std::uint8_t>(0x10 << ch);
    Emit(hub.address, opHubState, {flags});
}

void TSite::SendValues(const TTarget& t, const std::vector<std::uint8_t>& ids) {
    const auto& params = t.device->parameters;
    std::vector<std::uint8_t> valid;
    for (auto id : ids)
        if (id < params.size()) valid.push_back(id);
    for (std::size_t from = 0; from < valid.size() || from == 0; from += kValuesPerFrame) {
        const std::size_t n = std::min(kValuesPerFrame, valid.size() - from);
        Bytes b{static_cast<std::uint8_t>(n)};
        for (std::size_t k = 0; k < n; ++k) {
            Put(b, valid[from + k]);
            PutWord(b, params[valid[from + k]].value);
        }
        Send(t, opParameterValues, opChildParameterValues, b);
        if (valid.empty()) break;
    }
}

void TSite::SendHistory(const TTarget& t) {
    const auto& h = t.device->history;
    // Source is the device's own address: the program keeps it in its tree
    // whether it sits on the bus or behind a hub.
    for (std::size_t from = 0; from < h.size() || from == 0; from += kRecordsPerFrame) {
        const std::size_t n = std::min(kRecordsPerFrame, h.size() - from);
        Bytes b{static_cast<std::uint8_t>(n)};
        for (std::size_t k = 0; k < n; ++k) {
            const auto& r = h[from + k];
            const Bytes c = ClockForm(r.time);
            b.insert(b.end(), c.begin(), c.end());
            Put(b, r.devAddress);
            Put(b, r.paramId);
            PutWord(b, r.value);
            Put(b, r.state);
            Put(b, r.devState);
        }
        Emit(t.device->address, opHistory, b);
        if (h.empty()) break;
    }
}

void TSite::Text(const TSimDevice& d, const std::string& text) {
    Bytes b;
    PutText(b, text);
    Emit(d.address, opTextMessage, b);
}

void TSite::ClearAlarms(TSimDevice& d) {
    d.latched = 0;
    d.state &=
        static_cast<std::uint8_t>(~(kStateAlarm | kStateTemp | kStateOverCurrent | kStateVswr));
    for (const auto& p : d.parameters)
        d.state |= p.state & (kStateAlarm | AlarmBit(p.alarm));
}

void TSite::Execute(const TTarget& t, std::uint8_t number) {
    TSimDevice& d = *t.device;
    if (number >= d.commands.size()) return;
    const TSimCommand& c = d.commands[number];
    switch (c.action) {
    case TCommandAction::ClearAlarms:
        ClearAlarms(d);
        break;
    case TCommandAction::RfOff:
        d.rfOff = true;
        break;
    case TCommandAction::RfOn:
        d.rfOff = false;
        break;
    case TCommandAction::Reset:
        d.rfOff = false;
        for (auto& p : d.parameters) {
            p.excursionUntilS = -1;
            p.level = p.nominal;
        }
        ClearAlarms(d);
        break;
    case TCommandAction::None:
        break;
    }
    if (!c.reply.empty()) Text(d, c.reply);
    Send(t, opState, opChildState, {d.state});
}

void TSite::Apply(const TTarget& t, const TFrame& f, Millis now) {
    TSimDevice& d = *t.device;
    TMemoryStream in(f.body);
    const std::size_t n = f.body.size();
    switch (f.opcode) {
    case opGetDefinition:
        ReportDevice(t);
        break;
    case opSetDeviceType:
        if (n < 1) return;
        d.devId = f.body[0];
        SendDefinition(t);
        break;
    case opSetMode:
        if (n < 1 || f.body[0] > 15) return;
        d.mode = f.body[0];
        SendDefinition(t);
        break;
    case opGetState:
        Send(t, opState, opChildState, {d.state});
        break;
    case opSetAddress: {
        if (n < 1 || f.body[0] < 3 || f.body[0] > 14) return;
        const std::uint8_t next = static_cast<std::uint8_t>((d.address & 0xF0) | f.body[0]);
        if (Resolve(next).device) return; // two devices on one address would both answer
        d.address = next;
        break;
    }
    case opAttributeRow: {
        const std::uint8_t i = ReadByteOrZero(in);
        TSimAttribute a;
        a.name = ReadShortString(in);
        // The value is present only for text attributes; a row without it
        // ends with the options byte alone.
        if (in.Remaining() > 1) a.value = ReadShortString(in);
        a.options = ReadByteOrZero(in);
        if (i < d.attributes.size()) {
            d.attributes[i] = a;
        } else if (i == d.attributes.size() && i < d.maxAttributes) {
            d.attributes.push_back(a);
        }
        break;
    }
    case opAttributeText: {
        const std::uint8_t i = ReadByteOrZero(in);
        if (i >= d.attributes.size()) return;
        d.attributes[i].value = ReadShortString(in);
        Bytes b{i};
        PutText(b, d.attributes[i].value);
        Send(t, opAttributeText, opChildAttributeText, b);
        break;
    }
    case opParameterRow: {
        if (n < 19) return;
        const std::uint8_t i = ReadByteOrZero(in);
        TSimParameter p = i < d.parameters.size() ? d.parameters[i] : TSimParameter{};
        p.group = ReadByteOrZero(in);
        p.klass = ReadByteOrZero(in);
        p.mode = ReadByteOrZero(in);
        p.state = ReadByteOrZero(in);
        p.assoc = ReadByteOrZero(in);
        p.format = ReadByteOrZero(in);
        p.scale = ReadWordOrZero(in);
        const std::uint16_t value = ReadWordOrZero(in);
        p.min = ReadWordOrZero(in);
        p.max = ReadWordOrZero(in);
        p.threshold = ReadWordOrZero(in);
        p.calc = ReadByteOrZero(in);
        p.name = ReadShortString(in);
        p.dim = ReadShortString(in);
        if (i < d.parameters.size()) {
            d.parameters[i] = p;
        } else if (i == d.parameters.size() && i < d.maxParameters) {
            p.value = value;
            p.level = p.nominal = value;
            d.parameters.push_back(p);
        }
        break;
    }
    case opGetParameterValues: {
        if (n < 1) return;
        std::vector<std::uint8_t> ids;
        if (f.body[0] == 255) {
            for (std::size_t i = 0; i < d.parameters.size(); ++i)
                ids.push_back(static_cast<std::uint8_t>(i));
        } else {
            const std::size_t count = ReadByteOrZero(in);
            for (std::size_t k = 0; k < count && in.Remaining() > 0; ++k)
                ids.push_back(ReadByteOrZero(in));
        }
        SendValues(t, ids);
        break;
    }
    case opParameterValues: {
        if (n != 3 && n != 7) return;
        const std::uint8_t id = ReadByteOrZero(in);
        if (id >= d.parameters.size()) return;
        TSimParameter& p = d.parameters[id];
        const std::uint16_t v = std::min(ReadWordOrZero(in), p.scale);
        if (n == 7) {
            p.setU1 = ReadWordOrZero(in);
            p.setCurrent = ReadWordOrZero(in);
        }
        // The device regulates to what it was given.
        p.value = v;
        p.level = p.nominal = v;
        p.excursionUntilS = -1;
        SendValues(t, {id});
        break;
    }
    case opControlRow: {
        if (n < 8) return;
        const std::uint8_t i = ReadByteOrZero(in);
        TSimControl c = i < d.controls.size() ? d.controls[i] : TSimControl{};
        c.assoc = ReadByteOrZero(in);
        c.value = ReadWordOrZero(in);
        c.min = ReadWordOrZero(in);
        c.max = ReadWordOrZero(in);
        if (i < d.controls.size()) {
            d.controls[i] = c;
        } else if (i == d.controls.size() && i < d.maxControls) {
            c.name = "Control " + std::to_string(i + 1);
            d.controls.push_back(c);
        }
        break;
    }
    case opGetControlValue: {
        if (n < 1 || f.body[0] >= d.controls.size()) return;
        Bytes b{f.body[0]};
        PutWord(b, d.controls[f.body[0]].value);
        Send(t, opControlValue, opChildControlValue, b);
        break;
    }
    case opControlValue: {
        const std::uint8_t i = ReadByteOrZero(in);
        if (n < 3 || i >= d.controls.size()) return;
        TSimControl& c = d.controls[i];
        c.value = std::clamp(ReadWordOrZero(in), c.min, std::max(c.min, c.max));
        Bytes b{i};
        PutWord(b, c.value);
        Send(t, opControlValue, opChildControlValue, b);
        break;
    }
    case opExecuteCommand:
        if (n >= 1) Execute(t, f.body[0]);
        break;
    case opNewPassword:
        config_.password = ReadShortString(in);
        Text(d, "Access password changed");
        break;
    case opGetDateTime:
        Emit(d.address, opDateTime, ClockForm(ClockOf(d, now)));
        break;
    case opDateTime: {
        if (n < 7) return;
        TSimClock c;
        c.second = std::min<std::uint8_t>(f.body[0], 59);
        c.minute = std::min<std::uint8_t>(f.body[1], 59);
        c.hour = std::min<std::uint8_t>(f.body[2], 23);
        c.day = std::clamp<std::uint8_t>(f.body[3], 1, 31);
        c.month = std::clamp<std::uint8_t>(f.body[4], 1, 12);
        c.year = static_cast<std::uint16_t>(f.body[5] | (f.body[6] << 8));
        // A day beyond its month rolls into the next one, as a device's
        // calendar chip does.
        d.clockOffsetS = EpochSeconds(c) - (startEpochS_ + now.count() / 1000);
        Emit(d.address, opDateTime, ClockForm(ClockOf(d, now)));
        break;
    }
    case opGetCalibration:
        Emit(d.address, opCalibration, {d.calibration});
        break;
    case opCalibration:
        if (n < 1) return;
        d.calibration = f.body[0] & 0x3F;
        Emit(d.address, opCalibration, {d.calibration});
        break;
    case opGetHistory:
        SendHistory(t);
        break;
    case opSelectHub:
        if (!d.hub || n < 1 || f.body[0] < 1 || f.body[0] > 4) return;
        d.selectedChannel = f.body[0];
        d.channelReportDue = true;
        break;
    default:
        break; // a device ignores what it does not know
    }
}

void TSite::Advance(Millis now) {
    const long s = static_cast<long>(now.count() / 1000);
    while (lastTickS_ < s)
        Tick(++lastTickS_);
}

void TSite::StartExcursion(long second) {
    std::vector<TSimParameter*> candidates;
    auto collect = [&](TSimDevice& d) {
        for (auto& p : d.parameters)
            if (p.alarm != TAlarmKind::None && !p.setpoint && p.excursionUntilS < 0)
                candidates.push_back(&p);
    };
    for (auto& d : config_.devices) {
        collect(d);
        for (auto& ch : d.channels)
            for (auto& c : ch)
                collect(c);
    }
    if (candidates.empty()) return;
    std::uniform_int_distribution<std::size_t> pick(0, candidates.size() - 1);
    TSimParameter& p = *candidates[pick(rng_)];
    const double span = std::max(1.0, static_cast<double>(p.max) - p.min);
    std::uniform_real_distribution<double> beyond(0.05, 0.15);
    std::uniform_int_distribution<int> lasting(20, 90);
    // Go out past the nearer limit: a hot amplifier climbs, a weak one sags.
    const bool high = (p.max - p.nominal) <= (p.nominal - p.min) || p.alarm != TAlarmKind::General;
    p.excursionTarget = high ? p.max + span * beyond(rng_) : p.min - span * beyond(rng_);
    p.excursionTarget = std::clamp(p.excursionTarget, 0.0, static_cast<double>(p.scale));
    p.excursionUntilS = second + lasting(rng_);
}

void TSite::Tick(long second) {
    if (nextExcursionS_ >= 0 && second >= nextExcursionS_) {
        StartExcursion(second);
        std::exponential_distribution<double> gap(1.0 / config_.excursionIntervalS);
        nextExcursionS_ = second + 1 + static_cast<long>(gap(rng_));
    }
    for (auto& d : config_.devices) {
        TickDevice(d, nullptr, second, true);
        for (std::size_t ch = 0; ch < d.channels.size(); ++ch)
            for (auto& c : d.channels[ch])
                TickDevice(c, &d, second, ch + 1 == d.selectedChannel);
    }
}

void TSite::TickDevice(TSimDevice& d, TSimDevice* hub, long second, bool heard) {
    std::normal_distribution<double> jitter(0.0, 1.0);
    std::uint8_t alarms = 0;
    std::vector<std::size_t> risen;
    for (std::size_t i = 0; i < d.parameters.size(); ++i) {
        TSimParameter& p = d.parameters[i];
        if (!p.setpoint) {
            if (p.excursionUntilS >= 0 && second >= p.excursionUntilS) p.excursionUntilS = -1;
            double target = p.excursionUntilS >= 0 ? p.excursionTarget : p.nominal;
            if (p.rf && d.rfOff) target = 0;
            // Slow, mean-reverting wander: a tenth of the way back each second.
            p.level += 0.1 * (target - p.level) + p.noise * jitter(rng_);
            p.level = std::clamp(p.level, 0.0, static_cast<double>(p.scale));
            p.value = static_cast<std::uint16_t>(std::lround(p.level));
        }
        // A transmitter switched off on purpose does not alarm on its missing RF.
        const bool quiet = p.alarm == TAlarmKind::None || (p.rf && d.rfOff);
        const bool out = !quiet && (p.value < p.min || p.value > p.max);
        const std::uint8_t st =
            out ? static_cast<std::uint8_t>(kStateAlarm | AlarmBit(p.alarm)) : 0;
        if (st && !p.state) risen.push_back(i);
        p.state = st;
        alarms |= st;
    }
    d.latched |= alarms;
    const std::uint8_t mask = kStateAlarm | kStateTemp | kStateOverCurrent | kStateVswr;
    d.state = static_cast<std::uint8_t>((d.state & ~mask) | alarms | d.latched);
    for (std::size_t i : risen) {
        const TSimParameter& p = d.parameters[i];
        // Nobody to tell on a locked line or behind an unselected channel, and
        // a line nobody reads must not pile up alarms without end.
        if (heard && !accessRequired_ && outbox_.size() < kUnaskedBacklog) {
            std::string who = AttributeValue(d, "Device Name");
            if (who.empty()) who = "Device " + std::to_string(d.address);
            Text(d, who + ": " + p.name + (p.value > p.max ? " above limit" : " below limit"));
        }
        TSimDevice& keeper = hub ? *hub : d;
        keeper.history.push_back({ClockOf(d, Millis(second * 1000LL)), d.address,
                                  static_cast<std::uint8_t>(i), p.value, p.state, d.state});
        if (keeper.history.size() > kHistoryKept) keeper.history.erase(keeper.history.begin());
    }
}

} // namespace sim
