// Tables on disk: open, save with backup, copies, OpenTable, failing writes.
#include "SDB.h"
#include "StorageFixtures.h"

#include <filesystem>
#include <gtest/gtest.h>

using fixtures::TempDir;

namespace {

const TFieldNames kNames = {"ID", "NAME", "KIND", "DATA"};
const TFieldTypes kTypes = {idfAutoincrement, idfString, idfList, idfTable};

// The real file system, with one chosen operation made to fail.
class FaultyEnv : public TFileEnv {
public:
    // Fails the n-th call (1-based) counted over appends, syncs, closes,
    // renames and links; 0 fails nothing.
    explicit FaultyEnv(int failAt) : failAt_(failAt) {}
    int calls = 0;

    std::int64_t FileSize(const std::string& p) override { return real_->FileSize(p); }
    std::shared_ptr<const TBuffer> ReadAll(const std::string& p) override {
        return real_->ReadAll(p);
    }
    std::unique_ptr<TWritableFile> CreateTemp(const std::string& target,
                                              std::string& temp) override {
        Step("create");
        return std::make_unique<File>(*this, real_->CreateTemp(target, temp));
    }
    void Rename(const std::string& a, const std::string& b) override {
        Step("rename");
        real_->Rename(a, b);
    }
    bool LinkNoReplace(const std::string& a, const std::string& b) override {
        Step("link");
        return real_->LinkNoReplace(a, b);
    }
    bool RenameNoReplace(const std::string& a, const std::string& b) override {
        Step("move");
        return real_->RenameNoReplace(a, b);
    }
    void Remove(const std::string& p) override { real_->Remove(p); }
    void SyncDir(const std::string& d) override {
        Step("sync folder");
        real_->SyncDir(d);
    }

    void Step(const char* what) {
        if (++calls == failAt_)
            throw ESDBError(ESDBError::Kind::Io, std::string("injected failure of ") + what);
    }

private:
    struct File : TWritableFile {
        File(FaultyEnv& env, std::unique_ptr<TWritableFile> f) : env(env), real(std::move(f)) {}
        void Append(const std::uint8_t* d, std::size_t n) override {
            env.Step("write");
            real->Append(d, n);
        }
        void Sync() override {
            env.Step("sync");
            real->Sync();
        }
        void Close() override {
            env.Step("close");
            real->Close();
        }
        FaultyEnv& env;
        std::unique_ptr<TWritableFile> real;
    };
    int failAt_;
    TFileEnv* real_ = TFileEnv::Posix();
};

std::unique_ptr<TSDBase> Load(const std::string& path) {
    auto t = std::make_unique<TSDBase>();
    EXPECT_TRUE(t->LoadFromFile(path)) << path;
    return t;
}

} // namespace

TEST(File, OpenAnswersFalseForMissingAndEmptyFiles) {
    TempDir dir;
    TSDBase t;
    EXPECT_FALSE(t.Open(dir.Path("missing.sdb")));
    fixtures::WriteFileBytes(dir.Path("empty.sdb"), {});
    EXPECT_FALSE(t.LoadFromFile(dir.Path("empty.sdb")));
}

TEST(File, BackupSequence) {
    TempDir dir;
    const std::string path = dir.Path("Sites.sdb");
    const std::string backup = dir.Path("Sites.~sdb");
    auto t = CreateTable({"NAME"}, {idfString});
    t->FileName = path;

    t->AppendRecord();
    t->SetText(0, 0, "first");
    t->Save();
    EXPECT_EQ(t->SaveCount, 1);
    EXPECT_EQ(t->BackupName, "");
    EXPECT_FALSE(std::filesystem::exists(backup)) << "the first save keeps no backup";

    t->SetText(0, 0, "second");
    t->Save();
    EXPECT_EQ(t->SaveCount, 2);
    EXPECT_EQ(t->BackupName, backup);
    EXPECT_EQ(Load(backup)->GetText(0, 0), "first");

    t->SetText(0, 0, "third");
    t->Save();
    EXPECT_EQ(Load(backup)->GetText(0, 0), "first") << "an existing backup is kept";
    auto now = Load(path);
    EXPECT_EQ(now->GetText(0, 0), "third");
    EXPECT_EQ(now->SaveCount, 3);
    EXPECT_EQ(now->BackupName, backup);

    t->Modified = false;
    t->SetText(0, 0, "unsaved");
    t->Modified = false;
    t->Save();
    EXPECT_EQ(Load(path)->GetText(0, 0), "third") << "an unmodified table writes nothing";
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"Sites.sdb", "Sites.~sdb"}));
}

TEST(File, FirstSaveOfAnOpenedFileMovesItToTheBackup) {
    TempDir dir;
    const std::string path = dir.Path("lib");
    {
        auto t = CreateTable({"A"}, {idfString});
        t->SaveCount = 3;
        t->SaveCopyTo(path);
    }
    auto raw = Load(path);
    raw->SaveCount = 3;
    raw->FileName = path;
    raw->Modified = true;
    raw->Save();
    EXPECT_EQ(raw->BackupName, path + ".~") << "a name without extension gets ~ as extension";
    EXPECT_EQ(Load(path)->SaveCount, 4);
    EXPECT_TRUE(std::filesystem::exists(path + ".~"));
}

TEST(File, SaveCopyToWritesAFreshCopyAndLeavesTheTableBound) {
    TempDir dir;
    auto t = fixtures::MakeSampleTable();
    t->FileName = dir.Path("own.sdb");
    t->BackupName = "somewhere.~sdb";
    t->SaveCount = 7;
    t->SaveCopyTo(dir.Path("copy.sdb"));
    EXPECT_FALSE(t->Modified);
    EXPECT_EQ(t->FileName, dir.Path("own.sdb"));
    EXPECT_EQ(t->SaveCount, 7);
    EXPECT_EQ(t->BackupName, "somewhere.~sdb");
    auto copy = Load(dir.Path("copy.sdb"));
    EXPECT_EQ(copy->SaveCount, 0);
    EXPECT_EQ(copy->BackupName, "");
    EXPECT_EQ(fixtures::Describe(*copy), fixtures::Describe(*t));
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"copy.sdb"}));
}

TEST(File, DestroyingAModifiedBoundTableSavesIt) {
    TempDir dir;
    {
        auto t = OpenTable(dir.Path("new.sdb"), {"A"}, {idfString});
        EXPECT_TRUE(t->Modified);
    }
    auto back = Load(dir.Path("new.sdb"));
    EXPECT_TRUE(back->HasFields({"A"}));
    EXPECT_EQ(back->TableName, "new.sdb");
}

TEST(File, OpenTableOnRightFileLoadsItAndWritesNothing) {
    TempDir dir;
    const std::string path = dir.Path("t.sdb");
    fixtures::WriteFileBytes(path, fixtures::SampleBytes());
    const auto before = std::filesystem::last_write_time(path);
    {
        TOpenReport report;
        auto t = OpenTable(path, kNames, kTypes, &report);
        EXPECT_FALSE(report.setAside);
        EXPECT_FALSE(t->Modified);
        EXPECT_EQ(t->RecCount(), 3);
        EXPECT_EQ(t->FileName, path);
    }
    EXPECT_EQ(std::filesystem::last_write_time(path), before);
    EXPECT_EQ(fixtures::ReadFileBytes(path), fixtures::SampleBytes());
}

TEST(File, OpenTableSetsAsideWhatItCannotUseAndNeverOverwritesEarlierOnes) {
    TempDir dir;
    const std::string path = dir.Path("t.sdb");
    const Bytes sample = fixtures::SampleBytes();
    struct Case {
        const char* name;
        Bytes bytes;
    } cases[] = {
        {"other fields", fixtures::SampleBytes()},
        {"bad signature", Bytes{4, 'S', 'S', 'D', 'B', 0, 0}},
        {"truncated", Bytes(sample.begin(), sample.begin() + 60)},
    };
    int n = 0;
    for (const auto& c : cases) {
        fixtures::WriteFileBytes(path, c.bytes);
        TOpenReport report;
        auto t = OpenTable(path, {"OTHER"}, {idfString}, &report);
        ++n;
        const std::string expected = path + (n == 1 ? ".bad" : ".bad" + std::to_string(n));
        EXPECT_TRUE(report.setAside) << c.name;
        EXPECT_EQ(report.setAsidePath, expected) << c.name;
        EXPECT_FALSE(report.reason.empty()) << c.name;
        EXPECT_EQ(fixtures::ReadFileBytes(expected), c.bytes) << c.name;
        EXPECT_TRUE(t->HasFields({"OTHER"}));
        EXPECT_EQ(t->RecCount(), 0);
        EXPECT_EQ(t->FileName, path);
        t->Save();
        EXPECT_FALSE(std::filesystem::exists(path + ".~sdb"));
    }
    // Missing file: nothing to set aside.
    std::filesystem::remove(path);
    TOpenReport report;
    auto t = OpenTable(path, kNames, kTypes, &report);
    EXPECT_FALSE(report.setAside);
    EXPECT_EQ(t->TableName, "t.sdb");
    t->Modified = false;
}

TEST(File, WriteIntoAMissingFolderFailsAndKeepsModified) {
    TempDir dir;
    auto t = CreateTable({"A"}, {idfString});
    t->FileName = dir.Path("missing-folder/t.sdb");
    EXPECT_THROW(t->Save(), ESDBError);
    EXPECT_TRUE(t->Modified);
    EXPECT_EQ(t->SaveCount, 0);
    t->Modified = false;
}

// Makes the n-th file operation of a save fail, for every n until the save
// goes through, and checks that the file on disk is always whole: the old
// table or the new one, never a mixture, never missing, and no leftovers.
TEST(File, EverySaveFailureLeavesAWholeFile) {
    enum Start { NoFile, FileWithoutBackup, FileWithBackup };
    for (const Start start : {NoFile, FileWithoutBackup, FileWithBackup}) {
        for (int failAt = 1;; ++failAt) {
            SCOPED_TRACE("start " + std::to_string(start) + ", failure " + std::to_string(failAt));
            TempDir dir;
            const std::string path = dir.Path("h.sdb");
            const std::string backup = dir.Path("h.~sdb");
            auto t = fixtures::MakeSampleTable();
            t->FileName = path;
            if (start != NoFile) t->Save();
            if (start == FileWithBackup) {
                t->SetText(0, 1, "middle");
                t->Save();
            }
            const Bytes old = fixtures::ReadFileBytes(path);
            const Bytes oldBackup = fixtures::ReadFileBytes(backup);

            FaultyEnv env(failAt);
            t->SetEnv(&env);
            t->SetText(1, 1, "changed");
            for (int i = 0; i < 300; ++i)
                t->GetValue(2, 3)->Table()->AppendRecord();
            const std::int32_t saveCount = t->SaveCount;
            bool failed = false;
            try {
                t->Save();
            } catch (const ESDBError& e) {
                failed = true;
                EXPECT_EQ(e.kind(), ESDBError::Kind::Io);
                EXPECT_TRUE(t->Modified);
                EXPECT_EQ(t->SaveCount, saveCount);
            }
            t->SetEnv(TFileEnv::Posix());

            std::vector<std::string> names;
            if (start != NoFile || !failed) names.push_back("h.sdb");
            if (start == FileWithBackup || (start == FileWithoutBackup && !failed))
                names.push_back("h.~sdb");
            EXPECT_EQ(dir.Names(), names);
            if (failed) {
                EXPECT_EQ(fixtures::ReadFileBytes(path), old) << "a failed save changed the file";
            } else {
                EXPECT_EQ(fixtures::Describe(*Load(path)), fixtures::Describe(*t));
                if (start == FileWithoutBackup) {
                    EXPECT_EQ(fixtures::ReadFileBytes(backup), old);
                }
            }
            if (start == FileWithBackup) {
                EXPECT_EQ(fixtures::ReadFileBytes(backup), oldBackup);
            }
            t->Modified = false;
            if (!failed) break;
            ASSERT_LT(failAt, 50) << "the save never completes";
        }
    }
}
