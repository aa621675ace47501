// One table of the table store: fields and records of text values, nested
// tables inside values, optionally bound to a file. The byte layout lives in
// SdbFormat.cpp alone (described in README.md beside it).
#pragma once

#include "FileEnv.h"
#include "Records.h"
#include "SdbError.h"
#include "Stream.h"

#include <memory>
#include <string>

// Whether a write stamps `Saved` with the clock (the program) or keeps the
// stamps the tables hold (reproducible output for tools and tests).
enum class TSavedStamp { Now, Keep };

class TSDBase {
public:
    // With a file name, the file is opened at once (see Open), which throws
    // ESDBError on a damaged file.
    explicit TSDBase(void* owner = nullptr, const std::string& fileName = {});
    // Saves a modified table bound to a file. A destructor cannot report, so
    // callers that care call Save() first; a failure here goes to stderr.
    ~TSDBase();
    TSDBase(const TSDBase&) = delete;
    TSDBase& operator=(const TSDBase&) = delete;

    void* Owner() const { return owner_; }
    void SetOwner(void* owner) { owner_ = owner; }

    std::string FileName;
    std::string BackupName;
    std::int32_t SaveCount = 0;
    double Created = 0; // days since 1899-12-30, local time
    double Saved = 0;
    std::string TableName;
    std::string Description;
    std::int32_t LocaleID = 1033;
    bool Modified = false;

    TFields& Fields() { return fields_; }
    const TFields& Fields() const { return fields_; }
    TRecords& Records() { return records_; }
    const TRecords& Records() const { return records_; }

    // Records, then fields. Modified is left as it was.
    void Clear();
    int FieldCount() const { return fields_.Count(); }
    // 0 whenever the table has no fields.
    int RecCount() const { return fields_.Count() == 0 ? 0 : records_.Count(); }
    TField* GetField(int index) const;
    TRecord* GetRecord(int index) const;
    TValue* GetValue(int record, int field) const;
    std::string GetText(int record, int field) const;
    void SetText(int record, int field, const std::string& text);
    TField* AddField();
    void AddFields(const TFieldNames& names, const TFieldTypes& types);
    // Exactly these names, in this order, case-sensitive; false with no fields.
    bool HasFields(const TFieldNames& names) const;
    TRecord* AppendRecord();
    void DeleteRecord(int index);
    void ClearRecords();
    void MoveRecord(int from, int to);
    // Fields and records copied; file binding, header and Modified untouched.
    void Assign(TSDBase& source);

    // The table stream form, written at the stream's position.
    void WriteToStream(TMemoryStream& stream, TSavedStamp stamp = TSavedStamp::Now);
    // False, with the table emptied, when the signature is wrong. A damaged
    // table throws ESDBError; the table is then empty, its header and
    // Modified as they were, so a half-read table can never be saved over a
    // good file.
    bool ReadFromStream(TMemoryStream& stream);

    // Writes FileName through a temporary file that replaces it only once it
    // is complete and on disk. Throws ESDBError; Modified stays set then.
    void WriteToFile(TSavedStamp stamp = TSavedStamp::Now);
    // Writes FileName when it is set and Modified, keeping the backup
    // "<name>.~<ext>": none at the first save, afterwards the file as it was
    // before the first re-save, for as long as that backup file exists.
    void Save();
    // A fresh copy at `path` (SaveCount 0, no backup name); stays bound to its own file.
    void SaveCopyTo(const std::string& path, TSavedStamp stamp = TSavedStamp::Now);
    // Save() first, then reads `path` (FileName when empty). False when the
    // file is missing or empty, or its signature is wrong.
    bool Open(const std::string& path = {});
    // As Open, without saving first.
    bool LoadFromFile(const std::string& path);

    // File operations go through this; the real file system by default.
    void SetEnv(TFileEnv* env) { env_ = env; }
    TFileEnv* Env() const { return env_; }

private:
    bool ReadFile(const std::string& path);
    void* owner_;
    TFields fields_;
    TRecords records_;
    TFileEnv* env_;
};

// A new unbound table with these fields.
std::unique_ptr<TSDBase> CreateTable(const TFieldNames& names, const TFieldTypes& types);

// What OpenTable did with a file it could not use.
struct TOpenReport {
    bool setAside = false;
    std::string setAsidePath; // where the unusable file now is
    std::string reason;
};

// The table in `path` when it has exactly these fields; otherwise a new empty
// table with them, named after the file and bound to `path`. A file that
// exists but cannot be used (damaged, wrong signature, other fields) is first
// moved aside to a new name beside it, so that the first Save cannot destroy
// it; `report` says so. Throws ESDBError when the file can be neither read
// nor moved aside.
std::unique_ptr<TSDBase> OpenTable(const std::string& path, const TFieldNames& names,
                                   const TFieldTypes& types, TOpenReport* report = nullptr,
                                   TFileEnv* env = nullptr);
