// How the table store holds up as the session history grows: a history-shaped
// file (one record per session, each with a full snapshot of ten devices) is
// opened and saved, and each figure is set against the plain file operation
// it cannot beat, measured in the same run on the same file:
//   open / raw sequential read, save / raw sequential write of the same bytes
//   (both with the same flush to disk), peak RSS / file size.
// Each open and save runs in a fresh child process so that its peak RSS is
// its own.
#include "SDB.h"
#include "SdbFormat.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

const TFieldNames kHistoryNames = {"DATE", "TIME",     "SITE", "PHONE",
                                   "PORT", "OPERATOR", "NOTE", "DevTable"};
const TFieldTypes kHistoryTypes = {idfString, idfString, idfString, idfString,
                                   idfString, idfString, idfString, idfTable};
const TFieldNames kRowNames = {"ID", "NAME", "TYPE", "VALUE", "OPTIONS"};
const TFieldTypes kRowTypes = {idfDWord, idfString, idfTypeField, idfString, idfString};

// An item table as devices carry them: items of (ID, nested rows).
void FillItems(TSDBase& items, int count, int rows, const char* prefix) {
    items.AddFields({"ID", "ATTRIBUTES"}, {idfDWord, idfTable});
    for (int i = 0; i < count; ++i) {
        items.AppendRecord();
        items.SetText(i, 0, std::to_string(i));
        TSDBase* t = items.GetValue(i, 1)->Table();
        t->AddFields(kRowNames, kRowTypes);
        for (int r = 0; r < rows; ++r) {
            t->AppendRecord();
            t->SetText(r, 0, std::to_string(r));
            t->SetText(r, 1, std::string(prefix) + "_ROW" + std::to_string(r));
            t->SetText(r, 2, r % 3 ? "Byte" : "Word");
            t->SetText(r, 3, std::to_string(r * 37 % 1000));
            t->SetText(r, 4, r % 2 ? "1" : "0");
        }
    }
}

// Ten devices, each with its definition, 10 attributes, 20 parameters of 15
// rows, 4 controls and 6 commands.
void FillDeviceList(TSDBase& list) {
    list.AddFields({"DEF", "ATTRIBUTES", "PARAMETERS", "CONTROLS", "COMMANDS"},
                   {idfTable, idfTable, idfTable, idfTable, idfTable});
    for (int d = 0; d < 10; ++d) {
        list.AppendRecord();
        FillItems(*list.GetValue(d, 0)->Table(), 1, 6, "DEF");
        FillItems(*list.GetValue(d, 1)->Table(), 10, 4, "ATTR");
        FillItems(*list.GetValue(d, 2)->Table(), 20, 15, "PARAM");
        FillItems(*list.GetValue(d, 3)->Table(), 4, 6, "CTRL");
        FillItems(*list.GetValue(d, 4)->Table(), 6, 4, "CMD");
    }
}

void SessionTexts(TSDBase& h, int r, int n) {
    h.SetText(r, 0, "2026-12-" + std::to_string(1 + n % 28));
    h.SetText(r, 1, std::to_string(n % 24) + ":00:00");
    h.SetText(r, 2, "Site " + std::to_string(n % 40));
    h.SetText(r, 3, "0467" + std::to_string(100000 + n));
    h.SetText(r, 4, "COM" + std::to_string(1 + n % 4));
    h.SetText(r, 5, "night duty");
    h.SetText(r, 6, "session " + std::to_string(n));
}

class FdSink : public sdbformat::Sink {
public:
    explicit FdSink(int fd) : fd_(fd) {}
    void Put(const std::uint8_t* d, std::size_t n) override {
        while (n > 0) {
            const ssize_t k = ::write(fd_, d, n);
            if (k <= 0) {
                std::perror("write");
                std::exit(1);
            }
            d += k;
            n -= static_cast<std::size_t>(k);
        }
    }

private:
    int fd_;
};

// Writes the history file record by record, so that making it needs only
// one record in memory.
void Generate(const std::string& path, int records) {
    auto header = CreateTable(kHistoryNames, kHistoryTypes);
    header->TableName = "HistorySession.sdb";
    header->Records().NextNumber = records;
    TMemoryStream headBytes;
    header->WriteToStream(headBytes);
    // The header ends with the record count, 0 so far.
    Bytes head = headBytes.Data();
    for (int i = 0; i < 4; ++i)
        head[head.size() - 4 + static_cast<std::size_t>(i)] =
            static_cast<std::uint8_t>(static_cast<std::uint32_t>(records) >> (8 * i));

    // One record, written once per session with its own texts.
    auto one = CreateTable(kHistoryNames, kHistoryTypes);
    one->TableName = header->TableName;
    one->AppendRecord();
    FillDeviceList(*one->GetValue(0, 7)->Table());

    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    FdSink sink(fd);
    sdbformat::Writer w(sink);
    w.Raw(head.data(), head.size());
    for (int r = 0; r < records; ++r) {
        SessionTexts(*one, 0, r);
        TMemoryStream s;
        one->WriteToStream(s);
        // The one-record table's header has the same length as `head` (same
        // name, fixed-size numbers), so its record starts where `head` ends.
        w.Raw(s.Data().data() + head.size(), s.Size() - head.size());
    }
    w.Flush();
    ::fsync(fd);
    ::close(fd);
}

double RawRead(const std::string& path) {
    const auto t0 = Clock::now();
    const int fd = ::open(path.c_str(), O_RDONLY);
    std::vector<char> buf(1 << 20);
    while (::read(fd, buf.data(), buf.size()) > 0) {
    }
    ::close(fd);
    return Seconds(t0);
}

double RawWrite(const std::string& path, std::size_t bytes) {
    std::vector<char> buf(1 << 20, 'x');
    const auto t0 = Clock::now();
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    for (std::size_t done = 0; done < bytes;) {
        const std::size_t n = std::min(buf.size(), bytes - done);
        if (::write(fd, buf.data(), n) != static_cast<ssize_t>(n)) std::exit(1);
        done += n;
    }
    ::fsync(fd);
    ::close(fd);
    const double s = Seconds(t0);
    ::unlink(path.c_str());
    return s;
}

struct ChildResult {
    double seconds = 0;
    long peakKb = 0;
};

ChildResult RunChild(const char* mode, const std::string& path) {
    int fds[2];
    if (::pipe(fds) != 0) std::exit(1);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    std::string m = mode, p = path;
    char* argv[] = {self.data(), m.data(), p.data(), nullptr};
    pid_t pid;
    if (posix_spawn(&pid, self.c_str(), &actions, nullptr, argv, environ) != 0) std::exit(1);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    char out[64] = {};
    const ssize_t n = ::read(fds[0], out, sizeof out - 1);
    ::close(fds[0]);
    int status = 0;
    struct rusage ru {};
    ::wait4(pid, &status, 0, &ru);
    if (n <= 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "child %s failed\n", mode);
        std::exit(1);
    }
    return {std::atof(out), ru.ru_maxrss};
}

int Child(const std::string& mode, const std::string& path) {
    const auto t0 = Clock::now();
    auto h = OpenTable(path, kHistoryNames, kHistoryTypes);
    if (h->RecCount() == 0) return 1;
    const double openSeconds = Seconds(t0);
    if (mode == "open") {
        std::printf("%.9f\n", openSeconds);
        return 0;
    }
    // A session ends: its record is appended and the history is written.
    const int r = h->RecCount();
    h->AppendRecord();
    SessionTexts(*h, r, r);
    FillDeviceList(*h->GetValue(r, 7)->Table());
    const auto t1 = Clock::now();
    h->WriteToFile();
    std::printf("%.9f\n", Seconds(t1));
    return 0;
}

struct Row {
    int records;
    double size, open, read, save, write, rss;
};

} // namespace

int main(int argc, char** argv) {
    if (argc == 3) return Child(argv[1], argv[2]);
    // A history-shaped file to try things on: bench_sdb generate PATH RECORDS
    if (argc == 4 && std::string(argv[1]) == "generate") {
        Generate(argv[2], std::atoi(argv[3]));
        return 0;
    }

    const std::string dir = std::filesystem::temp_directory_path() / "tvs-bench-sdb";
    std::filesystem::create_directories(dir);
    std::vector<Row> rows;
    for (const int records : {100, 1000}) {
        const std::string path = dir + "/HistorySession.sdb";
        std::filesystem::remove(path);
        Generate(path, records);
        const double size = static_cast<double>(std::filesystem::file_size(path));
        Row row{records, size, 1e9, 1e9, 1e9, 1e9, 0};
        for (int i = 0; i < 3; ++i) {
            row.read = std::min(row.read, RawRead(path));
            const ChildResult open = RunChild("open", path);
            row.open = std::min(row.open, open.seconds);
        }
        for (int i = 0; i < 3; ++i) {
            const double bytes = static_cast<double>(std::filesystem::file_size(path));
            row.write =
                std::min(row.write, RawWrite(dir + "/raw.bin", static_cast<std::size_t>(bytes)));
            const ChildResult save = RunChild("save", path);
            row.save = std::min(row.save, save.seconds);
            row.rss = std::max(row.rss, static_cast<double>(save.peakKb) * 1024.0 / bytes);
        }
        rows.push_back(row);
        std::filesystem::remove(path);
    }
    std::filesystem::remove_all(dir);

    std::printf("%-8s %10s %10s %10s %8s %10s %10s %8s %9s\n", "records", "file MB", "open s",
                "read s", "open/rd", "save s", "write s", "save/wr", "RSS/file");
    for (const Row& r : rows)
        std::printf("%-8d %10.1f %10.4f %10.4f %8.2f %10.4f %10.4f %8.2f %9.2f\n", r.records,
                    r.size / 1e6, r.open, r.read, r.open / r.read, r.save, r.write,
                    r.save / r.write, r.rss);
    std::printf("targets: open/read <= 5, save/write <= 2, RSS/file <= 1.5, and the ratios at "
                "1000 no worse than at 100\n");
    return 0;
}
