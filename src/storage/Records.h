// Values and records. Every value is text; a value of an idfTable field also
// owns a whole nested table, so tables nest to any depth.
#pragma once

#include "Fields.h"

#include <memory>
#include <string>
#include <vector>

class TRecord;
class TRecords;
class TSDBase;
struct TRawTable;

class TValue {
public:
    ~TValue();
    TValue(const TValue&) = delete;
    TValue& operator=(const TValue&) = delete;

    TRecord* Owner() const { return owner_; }
    // Position in the record, which is the index of its field.
    int Index() const { return index_; }
    // The field of that index in the owning table, looked up anew each time;
    // null when the table has lost that field.
    TField* Field() const;
    bool IsTableValue() const;

    // The nested table of an idfTable value; null for other values and for a
    // table value that has none. A nested table read from a file is kept as
    // its bytes until somebody asks for it here (a long history is then cheap
    // to open and to save); from then on it is an ordinary table.
    TSDBase* Table();
    bool HasTable() const;

    // For a table value with a nested table, the nested table's name.
    const std::string& GetText() const;
    // For a table value with a nested table, also renames the nested table.
    void SetText(const std::string& text);
    // Nothing happens when the two fields' types differ.
    void Assign(TValue* source);

    // The value's stream form; reading follows the value's field type.
    void WriteToStream(TMemoryStream& stream);
    void ReadFromStream(TMemoryStream& stream);

private:
    friend class TRecord;
    friend struct TSdbFormat;
    TValue(TRecord* owner, int index);

    TRecord* owner_;
    int index_;
    std::string text_;
    std::unique_ptr<TSDBase> table_;
    std::unique_ptr<TRawTable> raw_;
};

class TRecord {
public:
    ~TRecord();
    TRecord(const TRecord&) = delete;
    TRecord& operator=(const TRecord&) = delete;

    TRecords* Owner() const { return owner_; }
    const TFields& Fields() const;
    int Count() const { return static_cast<int>(values_.size()); }
    // Null when the index is out of range.
    TValue* Values(int index) const;
    // Empty text / no action when the index is out of range.
    std::string GetText(int index) const;
    void SetText(int index, const std::string& text);
    // One more value at the end (after a field was added); null when the
    // table has no field at all.
    TValue* AddValue();
    // Copies every value except those of idfAutoincrement and idfKey fields.
    void Assign(TRecord* source);
    // Sets the first idfAutoincrement value to n, when the table has one.
    void SetNumber(int n);

private:
    friend class TRecords;
    friend struct TSdbFormat;
    explicit TRecord(TRecords* owner);

    TRecords* owner_;
    std::vector<std::unique_ptr<TValue>> values_;
};

class TRecords {
public:
    explicit TRecords(TSDBase* owner);
    ~TRecords();
    TRecords(const TRecords&) = delete;
    TRecords& operator=(const TRecords&) = delete;

    TSDBase* Owner() const { return owner_; }
    const TFields& Fields() const;

    // Number given to the next appended record's idfAutoincrement value.
    std::int32_t NextNumber = 0;

    int Count() const { return static_cast<int>(items_.size()); }
    TRecord* Get(int index) const;
    // Numbers the new record with NextNumber, then increments it.
    TRecord* Append();
    // Removing the last record resets NextNumber to 0.
    void Delete(int index);
    // Resets NextNumber only when there was something to clear.
    void Clear();
    // New records copied from the source's; no numbers given.
    void AppendCopies(const TRecords& source);
    TValue* GetValue(int record, int field) const;
    std::string GetText(int record, int field) const;
    void SetText(int record, int field, const std::string& text);
    // Moves record `from` to `to` (both valid); used by the table.
    void Move(int from, int to);

private:
    friend struct TSdbFormat;
    TRecord* AppendBlank();

    TSDBase* owner_;
    std::vector<std::unique_ptr<TRecord>> items_;
};
