// sitesim: a virtual transmitter site on a pseudo-terminal.
#include "Faults.h"
#include "LineFront.h"
#include "Pty.h"
#include "ReferenceSite.h"
#include "SimError.h"
#include "Site.h"
#include "SiteJson.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <iostream>

namespace {

std::atomic<bool> gStop{false};

void OnSignal(int) {
    gStop.store(true);
}

const char* kDescription =
    "A virtual transmitter site for the supervision program.\n"
    "\n"
    "Creates a pseudo-terminal, prints its path on the first line of standard\n"
    "output and serves the site on it until Ctrl-C. Open that path in the\n"
    "program (or any serial client) as the site's line.\n"
    "\n"
    "Lines:\n"
    "  bus    RS-485 bus: answers after the program's end-of-turn frame and\n"
    "         returns the turn with its own (default)\n"
    "  rs232  direct cable: answers every request at once\n"
    "  rds    the bus behind a radio data link, which answers the link probe\n"
    "  hayes  telephone modem: AT dialogue, ATDT, CONNECT, password, +++, ATH\n"
    "  gsm    GSM modem: as hayes, plus AT+CSQ, AT+CREG?, AT+GMM\n"
    "\n"
    "A pseudo-terminal has no modem lines (CTS, DSR, DCD, RI all read as 0),\n"
    "so the program classifies it by what answers: rs232, hayes and gsm show\n"
    "their full behaviour only in-process on the virtual null-modem pair,\n"
    "where the simulator sets those lines. On a pseudo-terminal the AT\n"
    "dialogue of hayes and gsm still works for a person at a terminal.\n"
    "\n"
    "Faults (--faults, comma separated):\n"
    "  ber=P lost=P insert=P gap=P[:MS] garbage=P silent=ADDR[@S]\n"
    "  answers=ADDR:AS dropcarrier=S seed=N\n"
    "\n"
    "--verbose writes one line per event to standard error:\n"
    "  [seconds.millis] in|bad|out|at|lines ... with frames in hex.\n"
    "The site file format is described in sim/README.md.";

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("sitesim");
    QCommandLineParser cli;
    cli.setApplicationDescription(kDescription);
    const QCommandLineOption help = cli.addHelpOption();
    const QCommandLineOption site("site", "Site file (JSON); default: the shipped reference site.",
                                  "FILE");
    const QCommandLineOption line("line", "bus, rs232, rds, hayes or gsm (default bus).", "KIND",
                                  "bus");
    const QCommandLineOption faults("faults", "Fault injection, see above.", "SPEC");
    const QCommandLineOption verbose("verbose", "Log every frame in and out with a time stamp.");
    const QCommandLineOption pty("pty", "Serve on a new pseudo-terminal and print its path.");
    const QCommandLineOption latency("latency", "Reply latency in ms (default 10).", "MS", "10");
    const QCommandLineOption turn(
        "turn-bytes", "Most bytes the site sends in one bus turn (default 65536).", "N", "65536");
    cli.addOptions({site, line, faults, verbose, pty, latency, turn});
    if (!cli.parse(QCoreApplication::arguments())) {
        std::cerr << "sitesim: " << cli.errorText().toStdString() << std::endl;
        return 2;
    }
    if (cli.isSet(help)) cli.showHelp(0);

    try {
        if (!cli.isSet(pty)) throw sim::ESimError("nothing to serve on: give --pty (see --help)");
        sim::TSiteConfig config = cli.isSet(site)
                                      ? sim::LoadSiteFile(cli.value(site).toStdString())
                                      : sim::ParseSite(sim::kReferenceSite, "reference site");
        const sim::TFaultSpec spec = sim::ParseFaultSpec(cli.value(faults).toStdString());
        const sim::TLineKind kind = sim::ParseLineKind(cli.value(line).toStdString());
        bool ok = false;
        sim::TLineOptions options;
        const int ms = cli.value(latency).toInt(&ok);
        if (!ok || ms < 0 || ms > 10000) throw sim::ESimError("latency: expected 0..10000 ms");
        options.latency = sim::Millis(ms);
        const int bytes = cli.value(turn).toInt(&ok);
        if (!ok || bytes < 1 || bytes > 1 << 20)
            throw sim::ESimError("turn-bytes: expected 1..1048576");
        options.turnBytes = static_cast<std::size_t>(bytes);

        sim::TTrace trace;
        if (cli.isSet(verbose)) {
            trace = [](sim::Millis t, const std::string& text) {
                std::fprintf(stderr, "[%6lld.%03lld] %s\n",
                             static_cast<long long>(t.count() / 1000),
                             static_cast<long long>(t.count() % 1000), text.c_str());
            };
        }
        sim::TSite simSite(std::move(config), spec.devices);
        sim::TPty terminal;
        sim::TFdLine fdLine(terminal.Master(), trace);
        auto front = sim::MakeFront(kind, simSite, fdLine, options, spec.line);
        front->SetTrace(trace);

        struct sigaction sa {};
        sa.sa_handler = OnSignal;
        sigemptyset(&sa.sa_mask);
        sigaction(SIGINT, &sa, nullptr);
        sigaction(SIGTERM, &sa, nullptr);
        std::signal(SIGPIPE, SIG_IGN);

        std::cout << terminal.Path() << std::endl;
        std::cerr << "sitesim: \"" << simSite.Config().name << "\", "
                  << simSite.Config().devices.size() << " devices on the bus, line "
                  << cli.value(line).toStdString() << "; Ctrl-C stops" << std::endl;
        const int rc = sim::Serve(*front, fdLine, terminal.Master(), gStop);
        std::cerr << "sitesim: stopped" << std::endl;
        return rc;
    } catch (const sim::ESimError& e) {
        std::cerr << "sitesim: " << e.what() << std::endl;
        return 2;
    }
}
