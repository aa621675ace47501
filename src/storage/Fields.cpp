#include "Fields.h"

#include "SdbFormat.h"

void TField::Assign(const TField* source) {
    if (!source) return;
    Name = source->Name;
    Caption = source->DisplayName();
    FieldType = source->FieldType;
    ReservedText1 = source->ReservedText1;
    ReservedText2 = source->ReservedText2;
    ReservedText3 = source->ReservedText3;
    DefaultValue = source->DefaultValue;
    ReservedByte = source->ReservedByte;
    FieldKind = source->FieldKind;
    Items = source->Items;
}

void TField::WriteToStream(TMemoryStream& stream) const {
    WriteInStream(stream, [&](sdbformat::Writer& w) { TSdbFormat::WriteField(*this, w); });
}

void TField::ReadFromStream(TMemoryStream& stream) {
    sdbformat::ReadInStream(stream, [&](sdbformat::Reader& r) { TSdbFormat::ReadField(*this, r); });
}

TField* TFields::Add() {
    items_.push_back(std::unique_ptr<TField>(new TField(this)));
    return items_.back().get();
}

TField* TFields::Get(int index) const {
    if (index < 0 || index >= Count()) return nullptr;
    return items_[static_cast<std::size_t>(index)].get();
}

void TFields::Assign(const TFields& source) {
    if (&source == this) return;
    Clear();
    for (const auto& f : source.items_)
        Add()->Assign(f.get());
}

TField* TFields::FindByType(TIDFieldType type) const {
    const int i = IndexOfType(type);
    return i < 0 ? nullptr : Get(i);
}

int TFields::IndexOfType(TIDFieldType type) const {
    for (int i = 0; i < Count(); ++i)
        if (items_[static_cast<std::size_t>(i)]->FieldType == type) return i;
    return -1;
}

void TFields::WriteToStream(TMemoryStream& stream) const {
    WriteInStream(stream, [&](sdbformat::Writer& w) { TSdbFormat::WriteFields(*this, w); });
}

void TFields::ReadFromStream(TMemoryStream& stream) {
    sdbformat::ReadInStream(stream,
                            [&](sdbformat::Reader& r) { TSdbFormat::ReadFields(*this, r); });
}
