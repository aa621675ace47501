// A whole session through the controller and the real bus link thread, over
// the in-process virtual null-modem pair at 57600 baud with the simulated
// site at the far end: the discovery of the reference site, then the scan
// of a device with 30 parameters.
//
// Discovery is timed from the moment the first poll is queued to the moment
// the controller's tree holds every device complete, and the time is split
// by a time line of the line itself. The far end runs the simulator's site
// and bus front as TVirtualSite does, with a tap on both directions: every
// byte is stamped by the virtual pair's own pacing (a program byte with the
// moment its stop bit ended, a site byte with the moment the pacing hands it
// to the program), so the time line needs neither side's sense of time.
// Walking it from the first poll:
//   wire      every byte that crossed, either way, up to the end of the frame
//             that completed the tree: bytes x 10 bits / baud;
//   mandated  each batch of the program waits 20 ms from the moment it holds
//             the turn (the site's last byte, or the first poll queued) to
//             its first send window; each turn of the site starts after the
//             simulator's reply latency, counted as it came out (the gap
//             from the program's last byte to the site's first);
//   program   the rest: windows used late, gaps inside a batch, a dispatch
//             that falls behind the line, and from the end of the last
//             frame to the tree complete.
// Which frame completed the tree is found by feeding the site's frames, in
// the order they crossed, to a second controller until its tree is complete.
//
// The scan reads the 30 parameters of bench/sites/scan30.json once a second
// (SendGetParameterValues on the current device) and reports ticks whose
// answer was not in before the next tick, the answer latency, and the CPU
// time per tick (getrusage, less the simulator's own thread) as a share of
// the period. `--scan-seconds N` sets its length (default 5; 60 for the
// full figure).
#include "EventPump.h"
#include "LANMonitor.h"
#include "LineFront.h"
#include "ReferenceSite.h"
#include "SimFrame.h"
#include "SiteJson.h"
#include "VirtualSerial.h"

#include <QCoreApplication>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <optional>
#include <pthread.h>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <vector>

#ifndef TVS_SCAN_SITE
#error "TVS_SCAN_SITE names the scan benchmark's site file"
#endif

namespace {

using namespace std::chrono_literals;
using TMs = std::chrono::duration<double, std::milli>;

constexpr int kDiscoveryRuns = 5;
constexpr auto kTimeLimit = 30s;

double Ms(std::chrono::nanoseconds d) {
    return TMs(d).count();
}

// A byte on the line and when it finished crossing.
struct TStampedByte {
    std::uint8_t value = 0;
    TTimePoint end;
};

// The simulator's site and bus front at the far end of the virtual pair,
// run as TVirtualSite runs them, keeping the time line of both directions.
class TTappedSite {
public:
    TTappedSite(TVirtualFarEnd& far, sim::TSiteConfig config)
        : far_(far), site_(std::move(config)), line_(*this) {
        front_ = sim::MakeFront(sim::TLineKind::Bus, site_, line_, options_, {});
        thread_ = std::thread([this] { Run(); });
    }
    ~TTappedSite() { Stop(); }
    TTappedSite(const TTappedSite&) = delete;
    TTappedSite& operator=(const TTappedSite&) = delete;

    void Stop() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }
    // The simulator thread's CPU time so far; only while it runs.
    double CpuMs() {
        clockid_t id{};
        timespec t{};
        if (pthread_getcpuclockid(thread_.native_handle(), &id) != 0 || clock_gettime(id, &t) != 0)
            return 0;
        return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
    }
    std::chrono::milliseconds ConfiguredLatency() const { return options_.latency; }

    std::vector<TStampedByte> FromProgram() const {
        std::lock_guard lock(mutex_);
        return fromProgram_;
    }
    // Each byte of a write crosses right after the one before it; the pair
    // tells when the last one has.
    std::vector<TStampedByte> FromSite(std::chrono::nanoseconds byteTime) const {
        std::lock_guard lock(mutex_);
        std::vector<TStampedByte> out;
        for (const auto& w : writes_)
            for (std::size_t i = 0; i < w.bytes.size(); ++i)
                out.push_back(
                    {w.bytes[i], w.last - static_cast<long>(w.bytes.size() - 1 - i) * byteTime});
        return out;
    }

private:
    struct TWrite {
        Bytes bytes;
        TTimePoint last;
    };
    class TLine : public sim::ISimLine {
    public:
        explicit TLine(TTappedSite& owner) : owner_(owner) {}
        void Write(const Bytes& bytes) override {
            const TTimePoint last = owner_.far_.Write(bytes);
            std::lock_guard lock(owner_.mutex_);
            owner_.writes_.push_back({bytes, last});
        }
        void SetModemLines(std::uint8_t status) override { owner_.far_.SetModemLines(status); }

    private:
        TTappedSite& owner_;
    };

    void Run() {
        const auto since = [this](TTimePoint t) {
            return std::chrono::duration_cast<sim::Millis>(t - start_);
        };
        bool rts = far_.Rts(), dtr = far_.Dtr();
        front_->ProgramLines(rts, dtr, sim::Millis(0));
        while (!stop_) {
            for (const TWireByte& b : far_.Take()) {
                {
                    std::lock_guard lock(mutex_);
                    fromProgram_.push_back({b.value, b.at});
                }
                if (b.rts != rts || b.dtr != dtr) {
                    rts = b.rts;
                    dtr = b.dtr;
                    front_->ProgramLines(rts, dtr, since(b.at));
                }
                front_->Receive(&b.value, 1, since(b.at));
            }
            const TTimePoint now = TSteadyClock::now();
            front_->Advance(since(now));
            TTimePoint until = now + 20ms;
            if (auto due = front_->NextDue(); due && start_ + *due < until) until = start_ + *due;
            far_.WaitReadable(until);
        }
    }

    TVirtualFarEnd& far_;
    sim::TSite site_;
    TLine line_;
    sim::TLineOptions options_;
    std::unique_ptr<sim::TLineFront> front_;
    const TTimePoint start_ = TSteadyClock::now();
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::vector<TStampedByte> fromProgram_;
    std::vector<TWrite> writes_;
    std::thread thread_;
};

bool TreeComplete(TObjectsList& devices, int expected) {
    if (devices.Count() != expected) return false;
    for (int i = 0; i < devices.Count(); ++i)
        if (!devices.GetDevice(i)->IsComplete()) return false;
    return true;
}

// Devices on the bus and the children on each hub's selected channel.
int TreeSize(const sim::TSiteConfig& config) {
    int n = 0;
    for (const auto& d : config.devices) {
        ++n;
        if (d.hub) n += static_cast<int>(d.channels[d.selectedChannel - 1].size());
    }
    return n;
}

// Views that note when the tree became complete and when values arrived.
class TWatchingViews : public ISessionViews {
public:
    TWatchingViews(TObjectsList& devices, int expected) : devices_(devices), expected_(expected) {}
    void DeviceAdded(TLANObject&) override { Check(); }
    void Rebuild(TView) override { Check(); }
    void UpdateValues() override { values.push_back(TSteadyClock::now()); }
    void ShowMessage(const std::string&) override {}
    std::optional<std::string> AskPassword() override { return std::nullopt; }

    std::optional<TTimePoint> completeAt;
    std::vector<TTimePoint> values;

private:
    void Check() {
        if (!completeAt && TreeComplete(devices_, expected_)) completeAt = TSteadyClock::now();
    }
    TObjectsList& devices_;
    int expected_;
};

// The end of the site's frame whose dispatch completed the tree: its frames
// in the order they crossed, fed to a controller of its own.
std::optional<TTimePoint> CompletingFrameEnd(const std::vector<TStampedByte>& site, int expected) {
    TObjectsList devices;
    TWatchingViews views(devices, expected);
    TLANMonitor replay(views, nullptr, devices);
    replay.DispatchEnabled = true;
    replay.AccessGranted = true;
    sim::TFrameCollector collector;
    for (const auto& b : site) {
        for (const Bytes& raw : collector.Feed(&b.value, 1)) {
            const auto f = sim::DecodeFrame(raw);
            if (!f || f->opcode == opEndOfTurn) continue;
            const TMemoryStream body(f->body);
            replay.InQueue().AddFrame(f->dest, f->src, f->body.empty() ? nullptr : &body,
                                      f->opcode);
            replay.DispatchReceived();
            replay.OutQueue().FreeAll();
            if (views.completeAt) return b.end;
        }
    }
    return std::nullopt;
}

struct TDiscovery {
    double total = 0, wire = 0, windows = 0, siteLatency = 0, program = 0;
    // The program's part, by where it arose.
    double firstWindowLate = 0, windowsLate = 0, insideBatches = 0, lastFrameToComplete = 0;
    std::size_t programBytes = 0, siteBytes = 0;
    int batches = 0, siteTurns = 0;

    void Add(const TDiscovery& o) {
        total += o.total;
        wire += o.wire;
        windows += o.windows;
        siteLatency += o.siteLatency;
        program += o.program;
        firstWindowLate += o.firstWindowLate;
        windowsLate += o.windowsLate;
        insideBatches += o.insideBatches;
        lastFrameToComplete += o.lastFrameToComplete;
        programBytes += o.programBytes;
        siteBytes += o.siteBytes;
        batches += o.batches;
        siteTurns += o.siteTurns;
    }
    double Mandated() const { return windows + siteLatency; }
    double Share() const { return total > 0 ? 100.0 * program / total : 0; }
};

// Positions of the program's bytes that end a batch (its end-of-turn frame).
std::vector<bool> BatchEnds(const std::vector<TStampedByte>& program) {
    std::vector<bool> ends(program.size(), false);
    sim::TFrameCollector collector;
    for (std::size_t i = 0; i < program.size(); ++i)
        for (const Bytes& raw : collector.Feed(&program[i].value, 1))
            if (auto f = sim::DecodeFrame(raw); f && f->opcode == opEndOfTurn) ends[i] = true;
    return ends;
}

// The line's time line from the first poll to the end of the completing
// frame; then the tail up to the tree complete.
TDiscovery Split(const std::vector<TStampedByte>& program, const std::vector<TStampedByte>& site,
                 TTimePoint firstPoll, TTimePoint frameEnd, TTimePoint complete,
                 std::chrono::nanoseconds byteTime, std::uint32_t baud) {
    struct TEvent {
        TTimePoint end;
        bool fromProgram;
        bool endsBatch;
    };
    const auto ends = BatchEnds(program);
    std::vector<TEvent> line;
    for (std::size_t i = 0; i < program.size(); ++i)
        if (program[i].end - byteTime >= firstPoll && program[i].end <= frameEnd)
            line.push_back({program[i].end, true, ends[i]});
    for (const auto& b : site)
        if (b.end - byteTime >= firstPoll && b.end <= frameEnd)
            line.push_back({b.end, false, false});
    std::sort(line.begin(), line.end(),
              [](const TEvent& a, const TEvent& b) { return a.end < b.end; });

    TDiscovery d;
    const double window = Ms(TLANReader::kFirstWindow);
    TTimePoint last = firstPoll;
    // Who sent the byte before: none yet, the site, the program inside a
    // batch, the program at the end of one.
    enum class TPrev { None, Site, Program, BatchEnd } prev = TPrev::None;
    for (const auto& e : line) {
        const double gap = std::max(0.0, Ms(e.end - byteTime - last));
        if (e.fromProgram) {
            ++d.programBytes;
            if (prev == TPrev::Program) {
                d.insideBatches += gap;
            } else {
                ++d.batches;
                d.windows += window;
                (prev == TPrev::None ? d.firstWindowLate : d.windowsLate) += gap - window;
            }
            prev = e.endsBatch ? TPrev::BatchEnd : TPrev::Program;
        } else {
            // The site's reply latency, and any pause inside its turn: its
            // own pace.
            ++d.siteBytes;
            if (prev == TPrev::Program || prev == TPrev::BatchEnd) ++d.siteTurns;
            d.siteLatency += gap;
            prev = TPrev::Site;
        }
        last = e.end;
    }
    d.lastFrameToComplete = Ms(complete - frameEnd);
    d.total = Ms(complete - firstPoll);
    d.wire = static_cast<double>(d.programBytes + d.siteBytes) * 10.0 * 1000.0 / baud;
    d.program = d.total - d.wire - d.Mandated();
    return d;
}

// One session on a fresh line: discovery, then the session is closed.
std::optional<TDiscovery> Discover(const sim::TSiteConfig& config) {
    const int expected = TreeSize(config);
    TVirtualSerialProvider provider;
    TPortMonitor portMonitor(nullptr);
    TCommPort port("COM1", provider, &portMonitor, {1, 1, 1, 1});
    TVirtualFarEnd& far = provider.Line("COM1").FarEnd();
    TTappedSite site(far, config);
    TObjectsList devices;
    TWatchingViews views(devices, expected);
    auto monitor = std::make_unique<TLANMonitor>(views, &port, devices);

    monitor->StartSession();
    // StartSession returns right after queuing the first poll.
    const TTimePoint firstPoll = TSteadyClock::now();
    if (monitor->NotConnected) return std::nullopt;
    const TTimePoint limit = firstPoll + kTimeLimit;
    while (!views.completeAt && TSteadyClock::now() < limit)
        Delay(5);
    const TLineSettings settings = far.Settings();
    monitor->StopSession();
    monitor.reset();
    site.Stop();
    if (!views.completeAt) return std::nullopt;

    const auto byteTime =
        std::chrono::nanoseconds(100'000'000LL * CharacterTenthBits(settings) / settings.baud);
    const auto program = site.FromProgram();
    const auto siteBytes = site.FromSite(byteTime);
    const auto frameEnd = CompletingFrameEnd(siteBytes, expected);
    if (!frameEnd) return std::nullopt;
    return Split(program, siteBytes, firstPoll, *frameEnd, *views.completeAt, byteTime,
                 settings.baud);
}

double Percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const auto i =
        static_cast<std::size_t>(std::max(0.0, std::ceil(p * static_cast<double>(v.size())) - 1));
    return v[std::min(i, v.size() - 1)];
}

// CPU time of the whole process, and its waits that gave up the core.
struct TUsage {
    double cpuMs = 0;
    long switches = 0;
};

TUsage ProcessUsage() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    const auto ms = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_usec) / 1e3;
    };
    return {ms(u.ru_utime) + ms(u.ru_stime), u.ru_nvcsw};
}

struct TScan {
    int ticks = 0, answered = 0, missed = 0;
    double latencyP50 = 0, latencyP99 = 0, latencyMax = 0, windowWait = 0;
    double tickLateMax = 0;
    double programCpu = 0, siteCpu = 0, processCpu = 0, switches = 0;
};

std::optional<TScan> Scan(const sim::TSiteConfig& config, int seconds) {
    TVirtualSerialProvider provider;
    TPortMonitor portMonitor(nullptr);
    TCommPort port("COM1", provider, &portMonitor, {1, 1, 1, 1});
    TVirtualFarEnd& far = provider.Line("COM1").FarEnd();
    TTappedSite site(far, config);
    TObjectsList devices;
    TWatchingViews views(devices, TreeSize(config));
    auto monitor = std::make_unique<TLANMonitor>(views, &port, devices);
    monitor->StartSession();
    const TTimePoint limit = TSteadyClock::now() + kTimeLimit;
    while (!views.completeAt && TSteadyClock::now() < limit)
        Delay(5);
    if (!views.completeAt) return std::nullopt;
    // The poll that follows the complete tree, and its answers, settle.
    Delay(1000);
    devices.SetItemIndex(0);
    TLANObject* device = devices.CurrentDevice();
    std::vector<std::uint8_t> rows;
    for (int i = 0; i < device->ParameterCount(); ++i)
        rows.push_back(static_cast<std::uint8_t>(i));

    views.values.clear();
    const std::size_t batchesBefore = [&] {
        const auto ends = BatchEnds(site.FromProgram());
        return static_cast<std::size_t>(std::count(ends.begin(), ends.end(), true));
    }();
    std::vector<TTimePoint> sent;
    const TUsage usage0 = ProcessUsage();
    const double site0 = site.CpuMs();
    const TTimePoint start = TSteadyClock::now();
    TScan s;
    for (int k = 0; k < seconds; ++k) {
        const TTimePoint due = start + k * 1s;
        while (TSteadyClock::now() < due)
            Delay(std::max(1L, static_cast<long>(std::ceil(Ms(due - TSteadyClock::now())))));
        const TTimePoint now = TSteadyClock::now();
        s.tickLateMax = std::max(s.tickLateMax, Ms(now - due));
        sent.push_back(now);
        monitor->SendGetParameterValues(rows);
    }
    const TTimePoint end = start + seconds * 1s;
    while (views.values.size() < sent.size() && TSteadyClock::now() < end + 2s)
        Delay(5);
    const TUsage usage = ProcessUsage();
    const double cpu = usage.cpuMs - usage0.cpuMs, siteCpu = site.CpuMs() - site0;
    const TLineSettings settings = far.Settings();
    monitor->StopSession();
    monitor.reset();
    site.Stop();

    // Each answer belongs to the oldest request still open; one that came
    // after the next tick was due missed its tick.
    std::vector<double> latency;
    s.ticks = static_cast<int>(sent.size());
    s.answered = static_cast<int>(std::min(views.values.size(), sent.size()));
    for (int k = 0; k < s.ticks; ++k) {
        const TTimePoint nextDue = start + (k + 1) * 1s;
        if (k >= s.answered || views.values[k] > nextDue) ++s.missed;
        if (k < s.answered) latency.push_back(Ms(views.values[k] - sent[k]));
    }
    s.latencyP50 = Percentile(latency, 0.5);
    s.latencyP99 = Percentile(latency, 0.99);
    s.latencyMax = latency.empty() ? 0 : *std::max_element(latency.begin(), latency.end());

    // How long each request waited for its send window: the first byte of
    // each batch after the scan began, against the tick that queued it.
    const auto program = site.FromProgram();
    const auto ends = BatchEnds(program);
    const auto byteTime =
        std::chrono::nanoseconds(100'000'000LL * CharacterTenthBits(settings) / settings.baud);
    std::vector<TTimePoint> batchStarts;
    bool atStart = true;
    std::size_t batch = 0;
    for (std::size_t i = 0; i < program.size(); ++i) {
        if (atStart && batch >= batchesBefore) batchStarts.push_back(program[i].end - byteTime);
        atStart = ends[i];
        if (ends[i]) ++batch;
    }
    double wait = 0;
    const std::size_t n = std::min(batchStarts.size(), sent.size());
    for (std::size_t k = 0; k < n; ++k)
        wait += Ms(batchStarts[k] - sent[k]);
    s.windowWait = n > 0 ? wait / static_cast<double>(n) : 0;

    s.processCpu = cpu / s.ticks;
    s.siteCpu = siteCpu / s.ticks;
    s.programCpu = (cpu - siteCpu) / s.ticks;
    s.switches = static_cast<double>(usage.switches - usage0.switches) / s.ticks;
    return s;
}

int ScanSeconds(int argc, char** argv) {
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--scan-seconds") == 0) return std::max(1, std::atoi(argv[i + 1]));
    return 5;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int scanSeconds = ScanSeconds(argc, argv);
    double load[3] = {};
    getloadavg(load, 3);
    std::printf("machine: %u cores, load average %.2f %.2f %.2f at start\n",
                std::thread::hardware_concurrency(), load[0], load[1], load[2]);

    const sim::TSiteConfig reference = sim::ParseSite(sim::kReferenceSite, "reference");
    std::printf("discovery of \"%s\" (%d devices) at 57600 baud, %d sessions\n",
                reference.name.c_str(), TreeSize(reference), kDiscoveryRuns);
    TDiscovery all;
    for (int run = 1; run <= kDiscoveryRuns; ++run) {
        const auto d = Discover(reference);
        if (!d) {
            std::printf("  session %d: discovery did not complete\n", run);
            return 1;
        }
        std::printf("  session %d: total %.1f ms = wire %.1f + mandated %.1f + program %.1f "
                    "(%.2f %%)\n",
                    run, d->total, d->wire, d->Mandated(), d->program, d->Share());
        all.Add(*d);
    }
    const double runs = kDiscoveryRuns;
    std::printf("  per session: total %.1f ms, wire %.1f ms, mandated waits %.1f ms "
                "(send windows %.1f, site latency %.1f), program-added %.1f ms\n",
                all.total / runs, all.wire / runs, all.Mandated() / runs, all.windows / runs,
                all.siteLatency / runs, all.program / runs);
    std::printf("  program-added share of the total: %.2f %%   (target <= 5 %%)\n", all.Share());
    std::printf("  program-added by origin (ms per session): first window %.2f, later windows "
                "%.2f, gaps inside batches %.2f, last frame to tree complete %.2f\n",
                all.firstWindowLate / runs, all.windowsLate / runs, all.insideBatches / runs,
                all.lastFrameToComplete / runs);
    std::printf("  per session: %zu bytes to the site, %zu from it, %d batches, %d site turns; "
                "site latency %.2f ms a turn (configured 10 ms)\n",
                all.programBytes / kDiscoveryRuns, all.siteBytes / kDiscoveryRuns,
                all.batches / kDiscoveryRuns, all.siteTurns / kDiscoveryRuns,
                all.siteTurns > 0 ? all.siteLatency / all.siteTurns : 0.0);

    const sim::TSiteConfig scanSite = sim::LoadSiteFile(TVS_SCAN_SITE);
    std::printf("scan of \"%s\": all parameters every 1 s for %d s\n", scanSite.name.c_str(),
                scanSeconds);
    const auto s = Scan(scanSite, scanSeconds);
    if (!s) {
        std::printf("  discovery of the scan site did not complete\n");
        return 1;
    }
    std::printf("  ticks %d, answered %d, missed %d   (target 0 missed)\n", s->ticks, s->answered,
                s->missed);
    std::printf("  tick started late by at most %.2f ms\n", s->tickLateMax);
    std::printf("  answer latency p50 %.1f ms, p99 %.1f ms, max %.1f ms (mean wait for the send "
                "window %.1f ms)\n",
                s->latencyP50, s->latencyP99, s->latencyMax, s->windowWait);
    std::printf("  CPU per tick: program %.3f ms = %.4f %% of the period; simulator %.3f ms, "
                "process %.3f ms\n",
                s->programCpu, s->programCpu / 10.0, s->siteCpu, s->processCpu);
    // The virtual pair hands over each byte at its own moment, so a thread
    // that waits on it wakes once a byte.
    std::printf("  voluntary context switches per tick (process): %.0f\n", s->switches);

    const bool met = all.Share() <= 5.0 && s->missed == 0;
    std::printf("%s\n", met ? "targets met" : "targets NOT met");
    return 0;
}
