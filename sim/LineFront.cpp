#include "LineFront.h"

#include "SimError.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace sim {

namespace {

Bytes EndOfTurn(std::uint8_t src) {
    return BuildFrame(kProgramAddress, src, 0, opEndOfTurn, {});
}

// The radio data link's own probe telegram: destination, source and sequence
// 0, opcode 0x2C. Its check word is stored high byte first; the link takes it
// in either order.
bool IsRadioProbe(const Bytes& u) {
    if (u.size() != 10 || u[1] != 0 || u[2] != 0 || u[3] != 0 || u[4] != 2 || u[5] != 0x2C)
        return false;
    const std::uint16_t crc = FrameCrc(u.data() + 1, 6);
    const std::uint16_t lowFirst = static_cast<std::uint16_t>(u[7] | (u[8] << 8));
    const std::uint16_t highFirst = static_cast<std::uint16_t>((u[7] << 8) | u[8]);
    return crc == lowFirst || crc == highFirst;
}

// The link's status telegram: opcode 0x18, status 00 (ready).
Bytes RadioStatus() {
    return EscapeFrame(BuildFrame(0, 0, 0, 0x18, {0x00}));
}

std::string Upper(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

} // namespace

TLineFront::TLineFront(TSite& site, ISimLine& line, TLineOptions options, const TLineFaults& faults)
    : site_(site), line_(line), options_(options), faults_(faults) {}

void TLineFront::ProgramLines(bool, bool, Millis) {}

void TLineFront::SetLines(std::uint8_t lines) {
    if (lines == lines_) return;
    lines_ = lines;
    line_.SetModemLines(lines);
}

void TLineFront::SendFrame(const Bytes& unescaped, Millis at) {
    ++counts_.sent;
    for (auto& chunk : faults_.Apply(EscapeFrame(unescaped)))
        SendRaw(chunk.bytes, at + chunk.delay);
}

void TLineFront::SendRaw(const std::string& text, Millis at) {
    SendRaw(Bytes(text.begin(), text.end()), at);
}

void TLineFront::SendRaw(const Bytes& bytes, Millis at) {
    if (bytes.empty()) return;
    // The line keeps order: nothing overtakes what was queued before it.
    at = std::max(at, lastAt_);
    lastAt_ = at;
    pending_.push_back({at, bytes});
}

void TLineFront::FlushOutbox(Millis at) {
    auto& box = site_.Outbox();
    while (!box.empty()) {
        SendFrame(box.front(), at);
        box.pop_front();
    }
}

std::vector<Bytes> TLineFront::Collect(const std::uint8_t* p, std::size_t n) {
    return collector_.Feed(p, n);
}

std::optional<TFrame> TLineFront::Check(const Bytes& raw, Millis now) {
    auto f = DecodeFrame(raw);
    if (f) {
        ++counts_.good;
        Trace(now, "in  " + BytesToHex(raw.data(), raw.size()));
    } else {
        ++counts_.bad;
        Trace(now, "bad " + BytesToHex(raw.data(), raw.size()));
    }
    return f;
}

void TLineFront::Advance(Millis now) {
    OnAdvance(now);
    Bytes out;
    while (!pending_.empty() && pending_.front().at <= now) {
        auto& p = pending_.front();
        out.insert(out.end(), p.bytes.begin(), p.bytes.end());
        pending_.pop_front();
    }
    if (out.empty()) return;
    Trace(now, "out " + BytesToHex(out.data(), out.size()));
    line_.Write(out);
}

std::optional<Millis> TLineFront::NextDue() const {
    std::optional<Millis> due = OwnDue();
    if (!pending_.empty() && (!due || pending_.front().at < *due)) due = pending_.front().at;
    return due;
}

// ---------------------------------------------------------------- bus

TBusFront::TBusFront(TSite& site, ISimLine& line, TLineOptions options, const TLineFaults& faults,
                     bool radio)
    : TLineFront(site, line, options, faults), radio_(radio) {
    site.OpenAccess();
    SetLines(radio ? kLineCts | kLineDsr : 0);
}

void TBusFront::Receive(const std::uint8_t* p, std::size_t n, Millis now) {
    for (const Bytes& raw : Collect(p, n)) {
        if (radio_ && IsRadioProbe(raw)) {
            Trace(now, "in  " + BytesToHex(raw.data(), raw.size()) + " (radio link probe)");
            SendRaw(RadioStatus(), now + options_.latency);
            continue;
        }
        auto f = Check(raw, now);
        if (!f) continue;
        if (f->opcode == opEndOfTurn) {
            if (f->src == kProgramAddress) turnAt_ = now + options_.latency;
            continue;
        }
        site_.Receive(*f, now);
    }
}

void TBusFront::OnAdvance(Millis now) {
    site_.Advance(now);
    if (turnAt_ && now >= *turnAt_) {
        turnAt_.reset();
        SpeakTurn(now);
    }
}

void TBusFront::SpeakTurn(Millis now) {
    auto& box = site_.Outbox();
    std::size_t spent = 0;
    // Whole frames only; the first always goes, so a turn budget smaller than
    // one frame slows the site down instead of silencing it.
    while (!box.empty()) {
        const std::size_t size = EscapeFrame(box.front()).size();
        if (spent > 0 && spent + size > options_.turnBytes) break;
        spent += size;
        SendFrame(box.front(), now);
        box.pop_front();
    }
    SendFrame(EndOfTurn(site_.TurnAddress()), now);
}

// ---------------------------------------------------------------- RS-232

TDirectFront::TDirectFront(TSite& site, ISimLine& line, TLineOptions options,
                           const TLineFaults& faults)
    : TLineFront(site, line, options, faults) {
    site.OpenAccess();
    SetLines(kLineCts | kLineDsr | kLineDcd);
}

void TDirectFront::Receive(const std::uint8_t* p, std::size_t n, Millis now) {
    for (const Bytes& raw : Collect(p, n)) {
        auto f = Check(raw, now);
        // A point-to-point line has no turns; an end-of-turn frame means nothing.
        if (f && f->opcode != opEndOfTurn) site_.Receive(*f, now);
    }
    FlushOutbox(now + options_.latency);
}

void TDirectFront::OnAdvance(Millis now) {
    site_.Advance(now);
    FlushOutbox(now);
}

// ---------------------------------------------------------------- modem

TModemFront::TModemFront(TSite& site, ISimLine& line, TLineOptions options,
                         const TLineFaults& faults, TKind kind, const TModemSettings& settings)
    : TLineFront(site, line, options, faults), kind_(kind), settings_(settings),
      dropAfterS_(faults.dropCarrierAfterS) {
    FactoryDefaults();
    UpdateLines();
    site.RequireAccess();
}

void TModemFront::FactoryDefaults() {
    echo_ = settings_.echo;
    verbose_ = true;
    quiet_ = false;
    dcdMode_ = 1;
    dsrMode_ = 0;
    dtrMode_ = 2;
    registers_ = {{0, 0}, {2, 43}, {3, 13},  {4, 10},
                  {5, 8}, {7, 50}, {10, 14}, {12, settings_.guardMs / 20}};
}

void TModemFront::UpdateLines() {
    const bool carrier = Online();
    std::uint8_t l = kLineCts;
    if (dsrMode_ == 0 || carrier) l |= kLineDsr;
    if (dcdMode_ == 0 || carrier) l |= kLineDcd;
    SetLines(l);
}

void TModemFront::Result(const std::string& text, Millis at) {
    if (quiet_) return;
    if (verbose_) {
        SendRaw("\r\n" + text + "\r\n", at);
        return;
    }
    // Numeric result codes: the short forms of the verbose texts.
    std::string code = "4";
    if (text == "OK")
        code = "0";
    else if (text.rfind("CONNECT", 0) == 0)
        code = "1";
    else if (text == "NO CARRIER")
        code = "3";
    else if (text == "BUSY")
        code = "7";
    SendRaw(code + "\r", at);
}

void TModemFront::Receive(const std::uint8_t* p, std::size_t n, Millis now) {
    if (state_ == TState::Data) {
        DataBytes(p, n, now);
        return;
    }
    for (std::size_t i = 0; i < n; ++i)
        CommandByte(p[i], now);
}

void TModemFront::CommandByte(std::uint8_t b, Millis now) {
    if (state_ == TState::Dialing) {
        // A line feed after the dial command's return is part of it; any
        // other key pressed while dialling abandons the call.
        if (b == '\n') return;
        state_ = TState::Command;
        dialDoneAt_.reset();
        Result("NO CARRIER", now + options_.latency);
        return;
    }
    if (echo_) SendRaw(Bytes{b}, now);
    if (b == '\r') {
        std::string line = lineBuf_;
        lineBuf_.clear();
        CommandLine(line, now);
    } else if (b == '\b' || b == 0x7F) {
        if (!lineBuf_.empty()) lineBuf_.pop_back();
    } else if (b != '\n' && lineBuf_.size() < 255) {
        lineBuf_ += static_cast<char>(b);
        // "A/" repeats the last command line at once, without a return.
        if (Upper(lineBuf_) == "A/") {
            lineBuf_.clear();
            CommandLine(lastLine_, now);
        }
    }
}

void TModemFront::CommandLine(const std::string& raw, Millis now) {
    const std::size_t at = Upper(raw).find("AT");
    if (at == std::string::npos) return; // noise before a command is not answered
    const std::string line = raw.substr(at);
    lastLine_ = line;
    Trace(now, "at  " + line);
    std::vector<std::string> info;
    auto result = Run(line.substr(2), info, now);
    const Millis when = now + options_.latency;
    for (const auto& text : info)
        SendRaw("\r\n" + text + "\r\n", when);
    if (result) Result(*result, when);
}

std::optional<std::string> TModemFront::Run(const std::string& cmds, std::vector<std::string>& info,
                                            Millis now) {
    const std::string c = Upper(cmds);
    std::size_t i = 0;
    auto number = [&]() {
        int v = 0;
        while (i < c.size() && std::isdigit(static_cast<unsigned char>(c[i])))
            v = std::min(v * 10 + (c[i++] - '0'), 9999);
        return v;
    };
    const bool gsm = kind_ == TKind::Gsm;
    while (i < c.size()) {
        const char k = c[i++];
        switch (k) {
        case ' ':
            break;
        case 'D': {
            std::string number;
            for (; i < c.size(); ++i)
                if (std::isdigit(static_cast<unsigned char>(c[i])) || c[i] == '+' || c[i] == '*' ||
                    c[i] == '#')
                    number += c[i];
            if (number.empty() || Online()) return "ERROR";
            Trace(now, "dial " + number);
            using TDial = TModemSettings::TDial;
            if (settings_.dial == TDial::None) return std::nullopt; // the call is never answered
            state_ = TState::Dialing;
            dialDoneAt_ = now + Millis(settings_.connectDelayMs);
            return std::nullopt;
        }
        case 'E':
            echo_ = number() != 0;
            break;
        case 'V':
            verbose_ = number() != 0;
            break;
        case 'Q':
            quiet_ = number() != 0;
            break;
        case 'X':
        case 'M':
        case 'L':
        case 'B':
            number();
            break;
        case 'H':
            number();
            if (Online()) Drop(now, "");
            break;
        case 'Z':
            number();
            if (Online()) Drop(now, "");
            FactoryDefaults();
            UpdateLines();
            break;
        case 'O':
            number();
            if (state_ != TState::OnlineCommand) return "NO CARRIER";
            state_ = TState::Data;
            lastDataAt_ = now;
            return settings_.connectText;
        case 'I': {
            const int n = number();
            if (n == 4 && !gsm)
                info.push_back(settings_.hayesModel);
            else if (n == 0)
                info.push_back(gsm ? settings_.gsmModel : "56000");
            else
                return "ERROR";
            break;
        }
        case 'S': {
            const int reg = number();
            if (i < c.size() && c[i] == '=') {
                ++i;
                registers_[reg] = std::min(number(), 255);
            } else if (i < c.size() && c[i] == '?') {
                ++i;
                char buf[8];
                std::snprintf(buf, sizeof buf, "%03d", registers_[reg]);
                info.push_back(buf);
            } else {
                return "ERROR";
            }
            break;
        }
        case '&': {
            if (i >= c.size()) return "ERROR";
            const char a = c[i++];
            const int n = number();
            if (a == 'C')
                dcdMode_ = n;
            else if (a == 'D')
                dtrMode_ = n;
            else if (a == 'S')
                dsrMode_ = n;
            else if (a == 'F')
                FactoryDefaults();
            else if (a != 'W' && a != 'K')
                return "ERROR";
            UpdateLines();
            break;
        }
        case '+': {
            std::size_t end = c.find(';', i);
            const std::string ext =
                c.substr(i, end == std::string::npos ? std::string::npos : end - i);
            i = end == std::string::npos ? c.size() : end + 1;
            if (!gsm) return "ERROR";
            if (ext == "CSQ")
                info.push_back("+CSQ: " + std::to_string(settings_.csq) + ",99");
            else if (ext == "CREG?")
                info.push_back("+CREG: " + settings_.creg);
            else if (ext.rfind("CREG=", 0) == 0) {
            } else if (ext == "GMM" || ext == "CGMM")
                info.push_back(settings_.gsmModel);
            else if (ext == "CPIN?")
                info.push_back("+CPIN: READY");
            else
                return "ERROR";
            break;
        }
        default:
            return "ERROR";
        }
    }
    return "OK";
}

void TModemFront::Connect(Millis now) {
    state_ = TState::Data;
    dialDoneAt_.reset();
    lastDataAt_ = now;
    plusCount_ = 0;
    escapeAt_.reset();
    ResetCollector();
    // Every call presents the password anew, and nothing said before the
    // call reaches the caller.
    site_.Outbox().clear();
    site_.RequireAccess();
    Result(settings_.connectText, now);
    UpdateLines();
    if (dropAt_) dropAt_.reset();
    if (dropAfterS_ >= 0) dropAt_ = now + Millis(dropAfterS_ * 1000LL);
    Trace(now, "carrier up");
}

void TModemFront::Drop(Millis now, const std::string& result) {
    state_ = TState::Command;
    dropAt_.reset();
    escapeAt_.reset();
    plusCount_ = 0;
    site_.Outbox().clear(); // the far end is gone, and so is what it was saying
    UpdateLines();
    Trace(now, "carrier down");
    if (!result.empty()) Result(result, now);
}

void TModemFront::ProgramLines(bool, bool dtr, Millis now) {
    const bool fell = dtr_ && !dtr;
    dtr_ = dtr;
    if (fell && Online() && dtrMode_ == 2) Drop(now, "NO CARRIER");
}

void TModemFront::DataBytes(const std::uint8_t* p, std::size_t n, Millis now) {
    const Millis guard(settings_.guardMs);
    for (std::size_t k = 0; k < n; ++k) {
        // "+++" counts only with a guard time of silence before it; the '+'
        // still reach the site, which takes them for noise between frames.
        if (p[k] == '+' && plusCount_ == 0 && now - lastDataAt_ >= guard) {
            plusCount_ = 1;
        } else if (p[k] == '+' && plusCount_ > 0 && plusCount_ < 3 && now - lastPlusAt_ < guard) {
            ++plusCount_;
        } else {
            plusCount_ = 0;
        }
        if (p[k] == '+') lastPlusAt_ = now;
        lastDataAt_ = now;
    }
    escapeAt_.reset();
    if (plusCount_ == 3) escapeAt_ = lastPlusAt_ + guard;
    for (const Bytes& raw : Collect(p, n)) {
        auto f = Check(raw, now);
        if (f && f->opcode != opEndOfTurn) site_.Receive(*f, now);
    }
    FlushOutbox(now + options_.latency);
}

void TModemFront::OnAdvance(Millis now) {
    if (state_ == TState::Dialing && dialDoneAt_ && now >= *dialDoneAt_) {
        dialDoneAt_.reset();
        using TDial = TModemSettings::TDial;
        if (settings_.dial == TDial::Connect) {
            Connect(now);
        } else {
            state_ = TState::Command;
            Result(settings_.dial == TDial::Busy ? "BUSY" : "NO CARRIER", now);
        }
    }
    if (state_ == TState::Data && escapeAt_ && now >= *escapeAt_) {
        escapeAt_.reset();
        plusCount_ = 0;
        state_ = TState::OnlineCommand;
        Result("OK", now);
    }
    if (Online() && dropAt_ && now >= *dropAt_) Drop(now, "NO CARRIER");
    site_.Advance(now);
    if (state_ == TState::Data) FlushOutbox(now);
}

std::optional<Millis> TModemFront::OwnDue() const {
    std::optional<Millis> due;
    for (const auto& t : {dialDoneAt_, escapeAt_, dropAt_})
        if (t && (!due || *t < *due)) due = t;
    return due;
}

TLineKind ParseLineKind(const std::string& text) {
    if (text == "bus") return TLineKind::Bus;
    if (text == "rs232") return TLineKind::Rs232;
    if (text == "rds") return TLineKind::Radio;
    if (text == "hayes") return TLineKind::Hayes;
    if (text == "gsm") return TLineKind::Gsm;
    throw ESimError("line: \"" + text + "\" is not one of bus, rs232, rds, hayes, gsm");
}

std::unique_ptr<TLineFront> MakeFront(TLineKind kind, TSite& site, ISimLine& line,
                                      TLineOptions options, const TLineFaults& faults) {
    switch (kind) {
    case TLineKind::Bus:
        return std::make_unique<TBusFront>(site, line, options, faults, false);
    case TLineKind::Radio:
        return std::make_unique<TBusFront>(site, line, options, faults, true);
    case TLineKind::Rs232:
        return std::make_unique<TDirectFront>(site, line, options, faults);
    case TLineKind::Hayes:
        return std::make_unique<TModemFront>(site, line, options, faults, TModemFront::TKind::Hayes,
                                             site.Config().modem);
    case TLineKind::Gsm:
        return std::make_unique<TModemFront>(site, line, options, faults, TModemFront::TKind::Gsm,
                                             site.Config().modem);
    }
    return nullptr;
}

} // namespace sim
