#include "SdbFormat.h"

#include "Utils.h"

#include <algorithm>
#include <cstring>

namespace sdbformat {

std::int32_t Reader::Int32() {
    Need(4, "a 32-bit count");
    std::int32_t v;
    std::memcpy(&v, data_ + pos_, 4);
    pos_ += 4;
    return v;
}

double Reader::Double() {
    Need(8, "a date");
    double v;
    std::memcpy(&v, data_ + pos_, 8);
    pos_ += 8;
    return v;
}

void Reader::Fail(ESDBError::Kind kind, const std::string& reason, std::size_t at) const {
    throw ESDBError(kind, reason, static_cast<std::int64_t>(at));
}

void Reader::FailShort(const char* what) const {
    throw ESDBError(ESDBError::Kind::Truncated, std::string("the data ends inside ") + what,
                    static_cast<std::int64_t>(pos_));
}

void Writer::Int32(std::int32_t v) {
    std::uint8_t b[4];
    std::memcpy(b, &v, 4);
    Raw(b, 4);
}

void Writer::Double(double v) {
    std::uint8_t b[8];
    std::memcpy(b, &v, 8);
    Raw(b, 8);
}

void Writer::Text(std::string_view text) {
    const std::size_t len = std::min(text.size(), kMaxShortText);
    Byte(static_cast<std::uint8_t>(len));
    Raw(reinterpret_cast<const std::uint8_t*>(text.data()), len);
}

void Writer::Raw(const std::uint8_t* data, std::size_t n) {
    if (n >= kBufferSize / 4) {
        Flush();
        sink_.Put(data, n);
        return;
    }
    if (buf_.size() + n > kBufferSize) Flush();
    buf_.insert(buf_.end(), data, data + n);
}

void Writer::Flush() {
    if (buf_.empty()) return;
    sink_.Put(buf_.data(), buf_.size());
    buf_.clear();
}

void CheckTableBytes(const std::uint8_t* data, std::size_t size) {
    Reader r(data, size, 0);
    {
        Reader probe(data, size, 0);
        if (probe.TextView() != kSignature)
            probe.Fail(ESDBError::Kind::Corrupt, "the signature is not SSDB.", 0);
    }
    TSdbFormat::WalkState state;
    TSdbFormat::SkipTable(r, 0, state);
    if (r.Pos() != size)
        r.Fail(ESDBError::Kind::Corrupt,
               std::to_string(size - r.Pos()) + " bytes follow the end of the table", r.Pos());
}

} // namespace sdbformat

using sdbformat::Reader;
using sdbformat::Writer;
using Kind = ESDBError::Kind;

void TSdbFormat::ReadField(TField& f, Reader& r) {
    f.Items.clear();
    f.Name = r.Text();
    f.Caption = r.Text();
    f.FieldType = FieldTypeFromName(r.TextView());
    std::string_view next = r.TextView();
    if (next == sdbformat::kListMarker && f.FieldType == idfList) {
        const std::int32_t n = r.Int32();
        // Each choice takes at least its length byte, so the count cannot
        // make us allocate more than the data holds.
        for (std::int32_t i = 0; i < n; ++i)
            f.Items.push_back(r.Text());
        next = r.TextView();
    }
    f.FieldKind = FieldKindFromName(next);
    f.ReservedText1 = r.Text();
    f.ReservedText2 = r.Text();
    f.ReservedText3 = r.Text();
    f.DefaultValue = r.Text();
    f.ReservedByte = r.Byte();
}

void TSdbFormat::WriteField(const TField& f, Writer& w) {
    w.Text(f.Name);
    w.Text(f.Caption);
    w.Text(FieldTypeName(f.FieldType));
    if (f.FieldType == idfList) {
        w.Text(sdbformat::kListMarker);
        w.Int32(static_cast<std::int32_t>(f.Items.size()));
        for (const auto& item : f.Items)
            w.Text(item);
    }
    w.Text(FieldKindName(f.FieldKind));
    w.Text(f.ReservedText1);
    w.Text(f.ReservedText2);
    w.Text(f.ReservedText3);
    w.Text(f.DefaultValue);
    w.Byte(f.ReservedByte);
}

void TSdbFormat::ReadFields(TFields& fields, Reader& r) {
    fields.Clear();
    const std::int32_t n = r.Int32();
    for (std::int32_t i = 0; i < n; ++i)
        ReadField(*fields.Add(), r);
}

void TSdbFormat::WriteFields(const TFields& fields, Writer& w) {
    w.Int32(fields.Count());
    for (int i = 0; i < fields.Count(); ++i)
        WriteField(*fields.Get(i), w);
}

void TSdbFormat::ReadValue(TValue& v, Reader& r, int depth) {
    const TField* field = v.Field();
    if (!field || field->FieldType != idfTable) {
        v.text_ = r.Text();
        v.table_.reset();
        v.raw_.reset();
        return;
    }
    v.text_ = r.Text();
    if (!v.table_ && !v.raw_) return;
    if (r.Keep()) {
        const std::size_t start = r.Pos();
        WalkState state;
        std::string name = SkipTable(r, depth + 1, state);
        auto raw = std::make_unique<TRawTable>();
        raw->buffer = r.Keep();
        raw->offset = start;
        raw->size = r.Pos() - start;
        raw->depth = depth + 1;
        v.raw_ = std::move(raw);
        v.table_.reset();
        v.text_ = std::move(name);
    } else {
        if (!v.table_) {
            v.raw_.reset();
            v.table_ = std::make_unique<TSDBase>(&v);
        }
        ReadTable(*v.table_, r, depth + 1);
        v.text_ = v.table_->TableName;
    }
}

void TSdbFormat::WriteValue(TValue& v, Writer& w, TSavedStamp stamp, double stampTime) {
    const TField* field = v.Field();
    if (!field || field->FieldType != idfTable) {
        w.Text(v.text_);
        return;
    }
    if (v.table_) {
        v.text_ = v.table_->TableName;
        w.Text(v.text_);
        WriteTable(*v.table_, w, stamp);
    } else if (v.raw_) {
        // Never looked into, so never changed: the bytes as they were read.
        w.Text(v.text_);
        w.Raw(v.raw_->buffer->data() + v.raw_->offset, v.raw_->size);
    } else {
        // A table value without a nested table (its field got the table type
        // after the record existed). Its text alone would make every reader
        // take the following bytes for a nested table, so an empty one is
        // written in its place.
        w.Text(v.text_);
        TSDBase empty;
        empty.TableName = v.text_;
        empty.Created = empty.Saved = stampTime;
        WriteTable(empty, w, TSavedStamp::Keep);
    }
}

std::int32_t TSdbFormat::ReadValueCount(Reader& r, std::int32_t record, int fields) {
    const std::size_t countAt = r.Pos();
    const std::int32_t valueCount = r.Int32();
    if (valueCount > fields)
        r.Fail(Kind::Corrupt,
               "record " + std::to_string(record) + " holds " + std::to_string(valueCount) +
                   " values for " + std::to_string(fields) + " fields",
               countAt);
    return valueCount;
}

bool TSdbFormat::ReadTable(TSDBase& t, Reader& r, int depth) {
    if (depth > sdbformat::kMaxDepth)
        r.Fail(Kind::Corrupt, "tables nest deeper than " + std::to_string(sdbformat::kMaxDepth),
               r.Pos());
    t.Clear();
    const std::size_t signatureAt = r.Pos();
    if (r.TextView() != sdbformat::kSignature) {
        if (depth == 0) return false;
        r.Fail(Kind::Corrupt, "a nested table's signature is not SSDB.", signatureAt);
    }
    std::string backupName = r.Text();
    std::string tableName = r.Text();
    std::string description = r.Text();
    const std::int32_t saveCount = r.Int32();
    const std::int32_t localeId = r.Int32();
    const double created = r.Double();
    const double saved = r.Double();

    ReadFields(t.Fields(), r);
    const int fieldCount = t.Fields().Count();
    t.Records().NextNumber = r.Int32();
    const std::int32_t recordCount = r.Int32();
    for (std::int32_t i = 0; i < recordCount; ++i) {
        const std::int32_t valueCount = ReadValueCount(r, i, fieldCount);
        TRecord* rec = t.Records().AppendBlank();
        for (std::int32_t j = 0; j < valueCount; ++j)
            ReadValue(*rec->values_[j], r, depth);
    }

    t.BackupName = std::move(backupName);
    t.TableName = std::move(tableName);
    t.Description = std::move(description);
    t.SaveCount = saveCount;
    t.LocaleID = localeId;
    t.Created = created;
    t.Saved = saved;
    t.Modified = false;
    return true;
}

void TSdbFormat::WriteTable(TSDBase& t, Writer& w, TSavedStamp stamp) {
    if (stamp == TSavedStamp::Now) t.Saved = DateTimeNow();
    w.Text(sdbformat::kSignature);
    w.Text(t.BackupName);
    w.Text(t.TableName);
    w.Text(t.Description);
    w.Int32(t.SaveCount);
    w.Int32(t.LocaleID);
    w.Double(t.Created);
    w.Double(t.Saved);
    WriteFields(t.Fields(), w);
    const int fieldCount = t.Fields().Count();
    w.Int32(t.Records().NextNumber);
    w.Int32(t.Records().Count());
    for (const auto& rec : t.Records().items_) {
        const int valueCount = std::min(rec->Count(), fieldCount);
        w.Int32(valueCount);
        for (int j = 0; j < valueCount; ++j)
            WriteValue(*rec->values_[j], w, stamp, t.Saved);
    }
    t.Modified = false;
}

std::string TSdbFormat::SkipTable(Reader& r, int depth, WalkState& state) {
    if (depth > sdbformat::kMaxDepth)
        r.Fail(Kind::Corrupt, "tables nest deeper than " + std::to_string(sdbformat::kMaxDepth),
               r.Pos());
    const std::size_t signatureAt = r.Pos();
    if (r.TextView() != sdbformat::kSignature)
        r.Fail(Kind::Corrupt, "a nested table's signature is not SSDB.", signatureAt);
    r.SkipText();
    std::string name = r.Text();
    r.SkipText();
    r.Skip(4 + 4 + 8 + 8, "the table header");

    WalkMemo& memo = state.memos[static_cast<std::size_t>(depth)];
    const std::int32_t fieldCount = r.Int32();
    if (memo.count == fieldCount && memo.fields && r.Left() >= memo.length &&
        std::memcmp(r.Here(), memo.fields, memo.length) == 0) {
        r.Skip(memo.length, "the fields");
    } else {
        memo.count = -1;
        memo.fields = r.Here();
        memo.isTable.clear();
        const std::size_t start = r.Pos();
        for (std::int32_t i = 0; i < fieldCount; ++i) {
            r.SkipText();
            r.SkipText();
            const std::string_view type = r.TextView();
            const bool isList = type == FieldTypeName(idfList);
            memo.isTable.push_back(type == FieldTypeName(idfTable) ? 1 : 0);
            if (r.TextView() == sdbformat::kListMarker && isList) {
                const std::int32_t n = r.Int32();
                for (std::int32_t k = 0; k < n; ++k)
                    r.SkipText();
                r.SkipText();
            }
            for (int k = 0; k < 4; ++k)
                r.SkipText();
            r.Skip(1, "a field's reserved byte");
        }
        memo.length = r.Pos() - start;
        memo.count = fieldCount;
    }
    // Deeper walks use deeper memos, so this table's flags stay put.
    const std::int32_t fields = std::max<std::int32_t>(fieldCount, 0);
    const std::uint8_t* isTable = memo.isTable.data();
    const bool anyTable =
        std::find(memo.isTable.begin(), memo.isTable.end(), 1) != memo.isTable.end();
    r.Skip(4, "the next record number");
    const std::int32_t recordCount = r.Int32();
    for (std::int32_t i = 0; i < recordCount; ++i) {
        const std::int32_t valueCount = ReadValueCount(r, i, fields);
        if (!anyTable) {
            for (std::int32_t j = 0; j < valueCount; ++j)
                r.SkipText();
            continue;
        }
        for (std::int32_t j = 0; j < valueCount; ++j) {
            r.SkipText();
            if (isTable[j]) SkipTable(r, depth + 1, state);
        }
    }
    return name;
}

void TSdbFormat::Materialize(TValue& v) {
    if (!v.raw_) return;
    const TRawTable& raw = *v.raw_;
    auto table = std::make_unique<TSDBase>(&v);
    Reader r(raw.buffer->data(), raw.offset + raw.size, raw.offset, raw.buffer);
    ReadTable(*table, r, raw.depth);
    v.table_ = std::move(table);
    v.raw_.reset();
}
