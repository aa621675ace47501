#include "Commands.h"

#include "CliPort.h"
#include "CliSession.h"
#include "IniFile.h"
#include "Interrupt.h"
#include "LANSession.h"
#include "ProgramPaths.h"
#include "SdbError.h"
#include "Sites.h"
#include "TextCodec.h"
#include "TextTable.h"
#include "TreePrinter.h"

#include <cstdio>
#include <filesystem>
#include <stdexcept>

namespace {

using namespace std::chrono_literals;
using TAlign = TTextTable::TAlign;

// Ends a command with one line on standard error and the status.
class ECliFailure : public std::runtime_error {
public:
    ECliFailure(const std::string& what, int status = kExitFailure)
        : std::runtime_error(what), status_(status) {}
    int Status() const { return status_; }

private:
    int status_;
};

// A reading gets at least this long for its reply, however short the
// interval: a bus answers only in its next turn.
constexpr auto kMinReplyWait = 2000ms;

std::string SetAsideText(const std::string& path, const std::string& reason,
                         const std::string& movedTo) {
    return path + " cannot be used (" + reason + "); it was moved to " + movedTo +
           " and a new one started";
}

class TCommandRunner {
public:
    TCommandRunner(const TCliOptions& o, const std::string& executable, std::ostream& out,
                   std::ostream& err)
        : o_(o), paths_(TProgramPaths::ForExecutable(executable, TSystemPathEnvironment{})),
          out_(out), err_(err),
          printer_([this](const std::string& s) { return codec_.ToUtf8(s); }) {}

    int Run() {
        switch (o_.command) {
        case TCliCommand::Discover:
            return Discover();
        case TCliCommand::Scan:
            return Scan();
        case TCliCommand::Sessions:
            return Sessions();
        case TCliCommand::Sites:
            return Sites();
        case TCliCommand::Paths:
            return Paths();
        case TCliCommand::Help:
            break;
        }
        out_ << kCliUsage;
        return kExitOk;
    }

private:
    std::string HistoryPath() const { return paths_.DataFolder() + "/HistorySession.sdb"; }
    std::string SitesPath() const { return paths_.DataFolder() + "/ObjctsList.sdb"; }

    void MakeFolders() const {
        std::string error;
        if (!paths_.MakeFolders(error)) throw ECliFailure(error);
    }

    std::string PortPath() const {
        TIniFile ini;
        if (!ini.Load(paths_.IniPath())) throw ECliFailure(paths_.IniPath() + ": " + ini.Error());
        const auto path = ResolvePortPath(o_.port, TPortPaths::FromIni(ini));
        if (!path)
            throw ECliFailure("--port \"" + o_.port +
                                  "\" is neither COM1 .. COM15 nor a device path",
                              kExitUsage);
        return *path;
    }

    std::unique_ptr<TLANSessionList> OpenHistory(TObjectsList& devices) const {
        try {
            auto history = std::make_unique<TLANSessionList>(&devices, HistoryPath());
            const TOpenReport& r = history->Report();
            if (r.setAside)
                throw ECliFailure(SetAsideText(HistoryPath(), r.reason, r.setAsidePath));
            return history;
        } catch (const ESDBError& e) {
            throw ECliFailure(HistoryPath() + ": " + e.what());
        }
    }

    std::unique_ptr<TLANObjectsList> OpenSites() const {
        try {
            auto sites = std::make_unique<TLANObjectsList>(nullptr, SitesPath());
            const TSitesReport& r = sites->Report();
            if (r.setAside) throw ECliFailure(SetAsideText(SitesPath(), r.reason, r.setAsidePath));
            return sites;
        } catch (const ESDBError& e) {
            throw ECliFailure(SitesPath() + ": " + e.what());
        }
    }

    TLANDObject* FindSite(TLANObjectsList& sites) const {
        const std::string wanted = codec_.FromUtf8(o_.site);
        for (int i = 0; i < sites.Count(); ++i)
            if (sites.GetSite(i)->GetSiteName() == wanted) return sites.GetSite(i);
        throw ECliFailure("no site named \"" + o_.site + "\" in " + SitesPath());
    }

    // What discover and scan share: everything checked before the port is
    // opened, the session recorded however it ends.
    template <class Work> int WithSession(const std::string& path, Work work) {
        MakeFolders();
        std::unique_ptr<TLANObjectsList> sites;
        TLANDObject* site = nullptr;
        if (!o_.site.empty()) {
            sites = OpenSites();
            site = FindSite(*sites);
        }
        TObjectsList devices;
        auto history = OpenHistory(devices);

        TCliSerialProvider provider(path);
        TCliSession session(provider, o_.port, devices, err_, o_.password, o_.verbose);
        if (!session.Open()) {
            const std::string why = provider.LastError().empty()
                                        ? "the session on " + path + " did not open"
                                        : provider.LastError();
            throw ECliFailure(o_.port == path ? why : o_.port + ": " + why);
        }
        int status = kExitOk;
        std::string failure;
        try {
            status = work(session, devices, site);
        } catch (const ECliFailure& e) {
            failure = e.what();
            status = e.Status();
        } catch (const std::exception& e) {
            // Whatever went wrong, a session that came up is recorded.
            failure = e.what();
            status = kExitFailure;
        }
        const std::string end = session.Close();
        try {
            history->AddSession(session.StartText(), end, site);
        } catch (const ESDBError& e) {
            throw ECliFailure("the session could not be recorded in " + HistoryPath() + ": " +
                              e.what());
        }
        if (!failure.empty()) throw ECliFailure(failure, status);
        return status;
    }

    void Discovered(TCliSession& session, TObjectsList& devices) {
        const auto limit =
            std::chrono::milliseconds(static_cast<long long>(o_.timeoutSeconds * 1000));
        switch (session.WaitDiscovery(limit)) {
        case TCliSession::TOutcome::Complete:
            return;
        case TCliSession::TOutcome::Interrupted:
            throw ECliFailure("interrupted; the session was closed and recorded", kExitInterrupted);
        case TCliSession::TOutcome::Lost:
            throw ECliFailure(o_.port + ": the session was lost");
        case TCliSession::TOutcome::TimedOut:
            break;
        }
        int incomplete = 0;
        for (int i = 0; i < devices.Count(); ++i)
            if (!devices.GetDevice(i)->IsComplete()) ++incomplete;
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%g", o_.timeoutSeconds);
        if (devices.Count() == 0)
            throw ECliFailure(o_.port + ": no device answered within " + std::string(seconds) +
                                  " s",
                              kExitTimeout);
        throw ECliFailure(o_.port + ": discovery not complete within " + seconds + " s (" +
                              std::to_string(devices.Count()) + " devices, " +
                              std::to_string(incomplete) + " still incomplete)",
                          kExitTimeout);
    }

    void PrintHeader(TCliSession& session, TObjectsList& devices, TLANDObject* site,
                     const std::string& path) {
        TTextTable table({TAlign::Left, TAlign::Left});
        if (site) table.AddRow({"site", codec_.ToUtf8(site->GetSiteName())});
        table.AddRow({"port", o_.port == path ? path : o_.port + " (" + path + ")"});
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.1f", session.DiscoveryTime().count() / 1000.0);
        table.AddRow({"devices", std::to_string(devices.Count()) + ", discovery complete in " +
                                     seconds + " s"});
        table.Print(out_);
        out_ << '\n';
    }

    int Discover() {
        const std::string path = PortPath();
        return WithSession(path,
                           [&](TCliSession& session, TObjectsList& devices, TLANDObject* site) {
                               Discovered(session, devices);
                               PrintHeader(session, devices, site, path);
                               printer_.PrintDevices(devices, out_);
                               return kExitOk;
                           });
    }

    int Scan() {
        const std::string path = PortPath();
        return WithSession(path, [&](TCliSession& session, TObjectsList& devices,
                                     TLANDObject* site) {
            Discovered(session, devices);
            TLANObject* device = devices.FindByAddress(o_.device);
            if (!device)
                throw ECliFailure("no device at " + AddressText(o_.device) + " on " + o_.port);
            if (device->ParameterCount() == 0)
                throw ECliFailure("the device at " + AddressText(o_.device) + " has no parameters");
            PrintHeader(session, devices, site, path);
            printer_.PrintTree(devices, out_);

            const auto interval =
                std::chrono::milliseconds(static_cast<long long>(o_.intervalSeconds * 1000));
            const auto wait = std::max<std::chrono::milliseconds>(interval, kMinReplyWait);
            auto next = std::chrono::steady_clock::now();
            for (int i = 1; i <= o_.count; ++i) {
                while (std::chrono::steady_clock::now() < next && !Interrupted())
                    Delay(20);
                if (Interrupted()) break;
                next += interval;
                const bool answered = session.ReadParameters(*device, wait);
                if (Interrupted()) break;
                out_ << "\nscan " << i << '/' << o_.count << "  " << NowText() << "  "
                     << AddressText(o_.device) << "  " << codec_.ToUtf8(device->GetTitle()) << '\n';
                if (answered)
                    printer_.PrintParameters(*device, out_, "  ");
                else
                    out_ << "  no answer\n";
                out_.flush();
                if (!out_) throw ECliFailure("standard output was closed; scan ended");
            }
            if (Interrupted())
                throw ECliFailure("interrupted; the session was closed and recorded",
                                  kExitInterrupted);
            return kExitOk;
        });
    }

    int Sessions() {
        TTextTable table({TAlign::Right, TAlign::Left, TAlign::Left, TAlign::Left, TAlign::Left,
                          TAlign::Left, TAlign::Right});
        table.AddRow({"N", "DATE BEGIN", "DATE END", "NAME", "PHONE", "REGION", "DEVICES"});
        // A listing writes nothing: without a history there is no file to start.
        if (!std::filesystem::exists(HistoryPath())) {
            table.Print(out_);
            return kExitOk;
        }
        TObjectsList devices;
        auto history = OpenHistory(devices);
        TSDBase& t = history->Table();
        for (int i = 0; i < history->Count(); ++i) {
            history->ItemIndex = i;
            TValue* v = t.GetValue(i, TLANSessionList::fDevTable);
            const TSDBase* saved = v ? v->Table() : nullptr;
            table.AddRow({std::to_string(i + 1), codec_.ToUtf8(history->GetDateBegin()),
                          codec_.ToUtf8(t.GetText(i, TLANSessionList::fDateEnd)),
                          codec_.ToUtf8(history->GetSiteName()), codec_.ToUtf8(history->GetPhone()),
                          codec_.ToUtf8(history->GetRegion()),
                          std::to_string(saved ? saved->RecCount() : 0)});
        }
        table.Print(out_);
        return kExitOk;
    }

    int Sites() {
        MakeFolders();
        auto sites = OpenSites();
        TTextTable table(
            {TAlign::Right, TAlign::Left, TAlign::Left, TAlign::Left, TAlign::Left, TAlign::Right});
        table.AddRow({"N", "NAME", "PHONE", "REGION", "ADDRESS", "TIMEZONE"});
        for (int i = 0; i < sites->Count(); ++i) {
            TLANDObject& s = *sites->GetSite(i);
            table.AddRow({std::to_string(i + 1), codec_.ToUtf8(s.GetSiteName()),
                          codec_.ToUtf8(s.GetPhone()), codec_.ToUtf8(s.GetRegion()),
                          codec_.ToUtf8(s.GetAddress()), std::to_string(s.GetTimeZone())});
        }
        table.Print(out_);
        return kExitOk;
    }

    int Paths() {
        TTextTable table({TAlign::Left, TAlign::Left});
        table.AddRow({"ini", paths_.IniPath()});
        table.AddRow({"data", paths_.DataFolder()});
        table.Print(out_);
        return kExitOk;
    }

    const TCliOptions& o_;
    TProgramPaths paths_;
    std::ostream& out_;
    std::ostream& err_;
    TTextCodec codec_;
    TTreePrinter printer_;
};

} // namespace

int RunCommand(const TCliOptions& options, const std::string& executable, std::ostream& out,
               std::ostream& err) {
    try {
        const int status = TCommandRunner(options, executable, out, err).Run();
        // A full disk or a closed pipe is a failure, not a quiet success.
        out.flush();
        if (!out) {
            err << "tvsupervisor-cli: standard output could not be written\n";
            return status == kExitOk ? kExitFailure : status;
        }
        return status;
    } catch (const ECliFailure& e) {
        out.flush();
        err << "tvsupervisor-cli: " << e.what() << '\n';
        return e.Status();
    } catch (const std::exception& e) {
        out.flush();
        err << "tvsupervisor-cli: " << e.what() << '\n';
        return kExitFailure;
    }
}
