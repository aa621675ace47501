// Field definitions of a table. Plain records with public members: the field
// is a description that upper layers read and set directly.
#pragma once

#include "Stream.h"
#include "TablesUtils.h"

#include <memory>
#include <string>
#include <vector>

class TFields;
class TSDBase;

class TField {
public:
    TFields* Owner() const { return owner_; }

    std::string Name;
    std::string Caption;
    TIDFieldType FieldType = idfUnknown;
    // Never set by the program but copied and stored, so that files made by
    // other programs keep what they carry.
    std::string ReservedText1;
    std::string ReservedText2;
    std::string ReservedText3;
    std::string DefaultValue;
    std::uint8_t ReservedByte = 0;
    std::uint8_t FieldKind = fkData;
    // The choices of an idfList field, in the order they were read.
    std::vector<std::string> Items;

    // Caption, or Name when Caption is empty.
    const std::string& DisplayName() const { return Caption.empty() ? Name : Caption; }
    // Copies everything; Caption becomes the source's DisplayName(). Null copies nothing.
    void Assign(const TField* source);

    // The field's stream form. A read that runs out of bytes throws
    // ESDBError (Truncated) and keeps what it read so far.
    void WriteToStream(TMemoryStream& stream) const;
    void ReadFromStream(TMemoryStream& stream);

private:
    friend class TFields;
    explicit TField(TFields* owner) : owner_(owner) {}
    TFields* owner_;
};

class TFields {
public:
    explicit TFields(TSDBase* owner) : owner_(owner) {}
    TFields(const TFields&) = delete;
    TFields& operator=(const TFields&) = delete;

    TSDBase* Owner() const { return owner_; }

    // A new empty field at the end. Records of the table get no value for it:
    // add fields through TSDBase::AddField to keep records in step.
    TField* Add();
    // Null when the index is out of range.
    TField* Get(int index) const;
    int Count() const { return static_cast<int>(items_.size()); }
    void Clear() { items_.clear(); }
    void Assign(const TFields& source);
    TField* FindByType(TIDFieldType type) const;
    int IndexOfType(TIDFieldType type) const;

    void WriteToStream(TMemoryStream& stream) const;
    void ReadFromStream(TMemoryStream& stream);

private:
    TSDBase* owner_;
    std::vector<std::unique_ptr<TField>> items_;
};
