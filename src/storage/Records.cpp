#include "Records.h"

#include "SDB.h"
#include "SdbFormat.h"
#include "Utils.h"

#include <algorithm>
#include <cctype>

namespace {
bool SameTextIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}
} // namespace

// ---- TValue

TValue::TValue(TRecord* owner, int index) : owner_(owner), index_(index) {
    const TField* field = Field();
    if (!field) return;
    if (field->FieldType == idfTable) {
        table_ = std::make_unique<TSDBase>(this);
        table_->TableName = "Table";
        text_ = "Table";
    }
    if (field->Items.empty()) {
        text_ = field->DefaultValue;
    } else {
        for (const auto& item : field->Items)
            if (SameTextIgnoringCase(item, field->DefaultValue)) {
                text_ = item;
                break;
            }
    }
}

TValue::~TValue() = default;

TField* TValue::Field() const {
    return owner_->Fields().Get(index_);
}

bool TValue::IsTableValue() const {
    const TField* f = Field();
    return f && f->FieldType == idfTable;
}

TSDBase* TValue::Table() {
    if (!IsTableValue()) return nullptr;
    if (raw_) TSdbFormat::Materialize(*this);
    return table_.get();
}

bool TValue::HasTable() const {
    return IsTableValue() && (table_ || raw_);
}

const std::string& TValue::GetText() const {
    if (table_ && IsTableValue()) return table_->TableName;
    return text_;
}

void TValue::SetText(const std::string& text) {
    text_ = text;
    if (IsTableValue() && (table_ || raw_)) Table()->TableName = text;
}

void TValue::Assign(TValue* source) {
    if (!source || source == this) return;
    const TField* mine = Field();
    const TField* theirs = source->Field();
    const TIDFieldType myType = mine ? mine->FieldType : idfUnknown;
    const TIDFieldType theirType = theirs ? theirs->FieldType : idfUnknown;
    if (myType != theirType) return;
    text_ = source->GetText();
    if (myType == idfTable) {
        if (TSDBase* src = source->Table()) {
            raw_.reset();
            if (!table_) table_ = std::make_unique<TSDBase>(this);
            table_->Assign(*src);
            // The copy answers the same text as its source.
            table_->TableName = text_;
        }
    }
}

void TValue::WriteToStream(TMemoryStream& stream) {
    WriteInStream(stream, [&](sdbformat::Writer& w) {
        TSdbFormat::WriteValue(*this, w, TSavedStamp::Now, DateTimeNow());
    });
}

void TValue::ReadFromStream(TMemoryStream& stream) {
    sdbformat::ReadInStream(stream,
                            [&](sdbformat::Reader& r) { TSdbFormat::ReadValue(*this, r, 0); });
}

// ---- TRecord

TRecord::TRecord(TRecords* owner) : owner_(owner) {
    const int n = owner_->Fields().Count();
    values_.reserve(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        values_.push_back(std::unique_ptr<TValue>(new TValue(this, i)));
}

TRecord::~TRecord() = default;

const TFields& TRecord::Fields() const {
    return owner_->Fields();
}

TValue* TRecord::Values(int index) const {
    if (index < 0 || index >= Count()) return nullptr;
    return values_[static_cast<std::size_t>(index)].get();
}

std::string TRecord::GetText(int index) const {
    const TValue* v = Values(index);
    return v ? v->GetText() : std::string();
}

void TRecord::SetText(int index, const std::string& text) {
    if (TValue* v = Values(index)) v->SetText(text);
}

TValue* TRecord::AddValue() {
    if (Fields().Count() == 0) return nullptr;
    values_.push_back(std::unique_ptr<TValue>(new TValue(this, Count())));
    return values_.back().get();
}

void TRecord::Assign(TRecord* source) {
    if (!source || source == this) return;
    const int n = std::min(Count(), source->Count());
    for (int i = 0; i < n; ++i) {
        const TField* f = Fields().Get(i);
        if (f && (f->FieldType == idfAutoincrement || f->FieldType == idfKey)) continue;
        Values(i)->Assign(source->Values(i));
    }
}

void TRecord::SetNumber(int n) {
    const int i = Fields().IndexOfType(idfAutoincrement);
    if (TValue* v = Values(i)) v->SetText(std::to_string(n));
}

// ---- TRecords

TRecords::TRecords(TSDBase* owner) : owner_(owner) {}
TRecords::~TRecords() = default;

const TFields& TRecords::Fields() const {
    return owner_->Fields();
}

TRecord* TRecords::Get(int index) const {
    if (index < 0 || index >= Count()) return nullptr;
    return items_[static_cast<std::size_t>(index)].get();
}

TRecord* TRecords::AppendBlank() {
    items_.push_back(std::unique_ptr<TRecord>(new TRecord(this)));
    return items_.back().get();
}

TRecord* TRecords::Append() {
    TRecord* rec = AppendBlank();
    rec->SetNumber(NextNumber);
    ++NextNumber;
    return rec;
}

void TRecords::Delete(int index) {
    if (index < 0 || index >= Count()) return;
    items_.erase(items_.begin() + index);
    if (items_.empty()) NextNumber = 0;
}

void TRecords::Clear() {
    if (items_.empty()) return;
    items_.clear();
    NextNumber = 0;
}

void TRecords::AppendCopies(const TRecords& source) {
    if (&source == this) return;
    for (const auto& src : source.items_)
        AppendBlank()->Assign(src.get());
}

TValue* TRecords::GetValue(int record, int field) const {
    const TRecord* rec = Get(record);
    return rec && field >= 0 ? rec->Values(field) : nullptr;
}

std::string TRecords::GetText(int record, int field) const {
    const TValue* v = GetValue(record, field);
    return v ? v->GetText() : std::string();
}

void TRecords::SetText(int record, int field, const std::string& text) {
    if (TValue* v = GetValue(record, field)) v->SetText(text);
}

void TRecords::Move(int from, int to) {
    if (from == to) return;
    auto item = std::move(items_[static_cast<std::size_t>(from)]);
    items_.erase(items_.begin() + from);
    items_.insert(items_.begin() + to, std::move(item));
}
