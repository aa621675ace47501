#include "SDB.h"

#include "SdbFormat.h"
#include "Utils.h"

#include <cstdio>

namespace {

std::string DirectoryOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NamePartOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// "dir/name.sdb" -> "dir/name.~sdb"; a name without extension gets ".~".
std::string BackupPathOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    const auto dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return path + ".~";
    return path.substr(0, dot + 1) + "~" + path.substr(dot + 1);
}

class TFileSink : public sdbformat::Sink {
public:
    explicit TFileSink(TWritableFile& file) : file_(file) {}
    void Put(const std::uint8_t* data, std::size_t n) override { file_.Append(data, n); }

private:
    TWritableFile& file_;
};

// Writes `target` through a temporary file beside it that is flushed to disk
// before it replaces the target, so the target is always either the old file
// or the new one, whole. `beforeReplace` runs once the new bytes are safe and
// just before the rename; `undoBeforeReplace` when the rename then fails.
void RemoveQuietly(TFileEnv& env, const std::string& path) {
    try {
        env.Remove(path);
    } catch (const ESDBError&) {
        // Only a leftover temporary file is at stake; the error that brought
        // us here is the one worth reporting.
    }
}

template <class Write, class Before, class Undo>
void ReplaceFile(TFileEnv& env, const std::string& target, Write write, Before beforeReplace,
                 Undo undoBeforeReplace) {
    std::string temp;
    std::unique_ptr<TWritableFile> file;
    auto dropTemp = [&] {
        file.reset();
        if (!temp.empty()) RemoveQuietly(env, temp);
    };
    try {
        file = env.CreateTemp(target, temp);
        TFileSink sink(*file);
        sdbformat::Writer w(sink);
        write(w);
        w.Flush();
        file->Sync();
        file->Close();
        file.reset();
    } catch (const ESDBError& e) {
        dropTemp();
        throw e.WithPath(target);
    } catch (...) {
        dropTemp();
        throw;
    }
    bool before = false;
    try {
        beforeReplace();
        before = true;
        env.Rename(temp, target);
    } catch (...) {
        if (before) {
            try {
                undoBeforeReplace();
            } catch (const ESDBError&) {
                // A surplus backup is harmless; the old file is untouched.
            }
        }
        dropTemp();
        try {
            throw;
        } catch (const ESDBError& e) {
            throw e.WithPath(target);
        }
    }
    try {
        env.SyncDir(DirectoryOf(target));
    } catch (const ESDBError&) {
        // The rename is done; a directory that cannot be synced (some file
        // systems refuse) leaves the new file in place all the same.
    }
}

} // namespace

TSDBase::TSDBase(void* owner, const std::string& fileName)
    : owner_(owner), fields_(this), records_(this), env_(TFileEnv::Posix()) {
    Created = Saved = DateTimeNow();
    if (!fileName.empty()) {
        FileName = fileName;
        Open();
    }
}

TSDBase::~TSDBase() {
    try {
        Save();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "table store: could not save on close: %s\n", e.what());
    }
}

void TSDBase::Clear() {
    records_.Clear();
    fields_.Clear();
}

TField* TSDBase::GetField(int index) const {
    return fields_.Get(index);
}

TRecord* TSDBase::GetRecord(int index) const {
    if (index < 0 || index >= RecCount()) return nullptr;
    return records_.Get(index);
}

TValue* TSDBase::GetValue(int record, int field) const {
    if (field < 0 || field >= FieldCount()) return nullptr;
    const TRecord* rec = GetRecord(record);
    return rec ? rec->Values(field) : nullptr;
}

std::string TSDBase::GetText(int record, int field) const {
    const TValue* v = GetValue(record, field);
    return v ? v->GetText() : std::string();
}

void TSDBase::SetText(int record, int field, const std::string& text) {
    if (record >= RecCount() || field >= FieldCount()) return;
    if (TValue* v = GetValue(record, field)) v->SetText(text);
    Modified = true;
}

TField* TSDBase::AddField() {
    TField* f = fields_.Add();
    for (int i = 0; i < records_.Count(); ++i)
        records_.Get(i)->AddValue();
    Modified = true;
    return f;
}

void TSDBase::AddFields(const TFieldNames& names, const TFieldTypes& types) {
    for (std::size_t i = 0; i < names.size(); ++i) {
        TField* f = AddField();
        f->Name = names[i];
        f->FieldType = i < types.size() ? types[i] : idfUnknown;
    }
}

bool TSDBase::HasFields(const TFieldNames& names) const {
    if (FieldCount() == 0 || static_cast<std::size_t>(FieldCount()) != names.size()) return false;
    for (int i = 0; i < FieldCount(); ++i)
        if (fields_.Get(i)->Name != names[static_cast<std::size_t>(i)]) return false;
    return true;
}

TRecord* TSDBase::AppendRecord() {
    TRecord* rec = records_.Append();
    Modified = true;
    return rec;
}

void TSDBase::DeleteRecord(int index) {
    records_.Delete(index);
    Modified = true;
}

void TSDBase::ClearRecords() {
    if (records_.Count() == 0) return;
    records_.Clear();
    Modified = true;
}

void TSDBase::MoveRecord(int from, int to) {
    const int last = records_.Count() - 1;
    if (last < 0 || from < 0 || to < 0 || from > last) return;
    const int dest = std::min(to, last);
    if (dest == from) return;
    records_.Move(from, dest);
    Modified = true;
}

void TSDBase::Assign(TSDBase& source) {
    if (&source == this) return;
    Clear();
    fields_.Assign(source.fields_);
    records_.AppendCopies(source.records_);
}

void TSDBase::WriteToStream(TMemoryStream& stream, TSavedStamp stamp) {
    WriteInStream(stream, [&](sdbformat::Writer& w) { TSdbFormat::WriteTable(*this, w, stamp); });
}

namespace {
// Runs a whole-table read so that a failure leaves the table empty with its
// header and Modified as they were, never half-read.
bool ReadWhole(TSDBase& t, sdbformat::Reader& r) {
    const std::string backupName = t.BackupName, tableName = t.TableName,
                      description = t.Description;
    const std::int32_t saveCount = t.SaveCount, localeId = t.LocaleID;
    const double created = t.Created, saved = t.Saved;
    const bool modified = t.Modified;
    try {
        return TSdbFormat::ReadTable(t, r, 0);
    } catch (...) {
        t.Clear();
        t.BackupName = backupName;
        t.TableName = tableName;
        t.Description = description;
        t.SaveCount = saveCount;
        t.LocaleID = localeId;
        t.Created = created;
        t.Saved = saved;
        t.Modified = modified;
        throw;
    }
}
} // namespace

bool TSDBase::ReadFromStream(TMemoryStream& stream) {
    return sdbformat::ReadInStream(stream,
                                   [&](sdbformat::Reader& r) { return ReadWhole(*this, r); });
}

void TSDBase::WriteToFile(TSavedStamp stamp) {
    if (FileName.empty()) throw ESDBError(ESDBError::Kind::Io, "the table has no file name");
    const double saved = Saved;
    try {
        ReplaceFile(
            *env_, FileName, [&](sdbformat::Writer& w) { TSdbFormat::WriteTable(*this, w, stamp); },
            [] {}, [] {});
    } catch (...) {
        Saved = saved;
        Modified = true;
        throw;
    }
}

void TSDBase::Save() {
    if (FileName.empty() || !Modified) return;
    const std::string oldBackupName = BackupName;
    const std::int32_t oldSaveCount = SaveCount;
    const double oldSaved = Saved;
    const bool makeBackup = SaveCount != 0;
    BackupName = makeBackup ? BackupPathOf(FileName) : std::string();
    ++SaveCount;
    bool linked = false;
    try {
        ReplaceFile(
            *env_, FileName,
            [&](sdbformat::Writer& w) { TSdbFormat::WriteTable(*this, w, TSavedStamp::Now); },
            [&] {
                // The old file gets its backup name only while no backup
                // exists; it stays under its own name until the new one
                // replaces it, so no moment is without a whole file.
                if (makeBackup && env_->FileSize(FileName) >= 0)
                    linked = env_->LinkNoReplace(FileName, BackupName);
            },
            [&] {
                if (linked) env_->Remove(BackupName);
            });
    } catch (...) {
        BackupName = oldBackupName;
        SaveCount = oldSaveCount;
        Saved = oldSaved;
        Modified = true;
        throw;
    }
}

void TSDBase::SaveCopyTo(const std::string& path, TSavedStamp stamp) {
    const std::string fileName = FileName, backupName = BackupName;
    const std::int32_t saveCount = SaveCount;
    BackupName.clear();
    SaveCount = 0;
    FileName = path;
    try {
        WriteToFile(stamp);
    } catch (...) {
        FileName = fileName;
        BackupName = backupName;
        SaveCount = saveCount;
        throw;
    }
    FileName = fileName;
    BackupName = backupName;
    SaveCount = saveCount;
}

bool TSDBase::ReadFile(const std::string& path) {
    try {
        if (env_->FileSize(path) <= 0) return false;
        const std::shared_ptr<const TBuffer> buffer = env_->ReadAll(path);
        if (buffer->size() == 0) return false;
        sdbformat::Reader r(buffer->data(), buffer->size(), 0, buffer);
        return ReadWhole(*this, r);
    } catch (const ESDBError& e) {
        throw e.WithPath(path);
    }
}

bool TSDBase::Open(const std::string& path) {
    Save();
    return ReadFile(path.empty() ? FileName : path);
}

bool TSDBase::LoadFromFile(const std::string& path) {
    return ReadFile(path);
}

std::unique_ptr<TSDBase> CreateTable(const TFieldNames& names, const TFieldTypes& types) {
    auto t = std::make_unique<TSDBase>();
    t->AddFields(names, types);
    return t;
}

std::unique_ptr<TSDBase> OpenTable(const std::string& path, const TFieldNames& names,
                                   const TFieldTypes& types, TOpenReport* report, TFileEnv* env) {
    if (!env) env = TFileEnv::Posix();
    if (report) *report = TOpenReport{};
    std::unique_ptr<TSDBase> table;
    const std::int64_t size = env->FileSize(path);
    if (size > 0) {
        auto candidate = std::make_unique<TSDBase>();
        candidate->SetEnv(env);
        std::string reason;
        try {
            if (!candidate->LoadFromFile(path))
                reason = "it is not a table file (its signature is not SSDB.)";
            else if (!candidate->HasFields(names))
                reason = "its table has other fields than this one needs";
            else
                table = std::move(candidate);
        } catch (const ESDBError& e) {
            if (e.kind() == ESDBError::Kind::Io) throw;
            reason = e.reason() + " at byte " + std::to_string(e.offset());
        }
        if (!table) {
            std::string aside;
            for (int n = 1;; ++n) {
                aside = path + (n == 1 ? std::string(".bad") : ".bad" + std::to_string(n));
                if (env->RenameNoReplace(path, aside)) break;
                if (n >= 1000)
                    throw ESDBError(ESDBError::Kind::Io,
                                    "cannot move the unusable file aside: too many earlier ones",
                                    -1, path);
            }
            if (report) {
                report->setAside = true;
                report->setAsidePath = aside;
                report->reason = reason;
            }
        }
    }
    if (!table) {
        table = CreateTable(names, types);
        table->SetEnv(env);
        table->TableName = NamePartOf(path);
    }
    table->FileName = path;
    return table;
}
