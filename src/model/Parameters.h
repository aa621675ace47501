// A device's parameters: one item per measured quantity with fifteen named
// rows, and the stream forms in which they travel.
#pragma once

#include "Attribute.h"
#include "ValueFormat.h"

class TParameters : public TObjFieldTab {
public:
    TParameters(TLANObject* device, TSDBase* table);

    // A new parameter with the default rows; its "ID" is its index.
    void AddItem();

    std::int32_t GetParamID() { return ItemInt("ID"); }
    void SetParamID(std::int64_t n) { SetItemInt("ID", n); }
    std::int32_t GetGroup() { return ItemInt("Group"); }
    void SetGroup(std::int64_t n) { SetItemInt("Group", n); }
    std::int32_t GetClass() { return ItemInt("Class"); }
    void SetClass(std::int64_t n) { SetItemInt("Class", n); }
    std::int32_t GetMode() { return ItemInt("MODE"); }
    void SetMode(std::int64_t n) { SetItemInt("MODE", n); }
    std::int32_t GetState() { return ItemInt("STATE"); }
    void SetState(std::int64_t n) { SetItemInt("STATE", n); }
    std::int32_t GetAssoc() { return ItemInt("Assoc"); }
    void SetAssoc(std::int64_t n) { SetItemInt("Assoc", n); }
    std::int32_t GetFormat() { return ItemInt("FORMAT"); }
    void SetFormat(std::int64_t n) { SetItemInt("FORMAT", n); }
    std::int32_t GetScale() { return ItemInt("SCALE"); }
    void SetScale(std::int64_t n) { SetItemInt("SCALE", n); }
    std::int32_t GetValue() { return ItemInt("VALUE"); }
    void SetValue(std::int64_t n) { SetItemInt("VALUE", n); }
    std::int32_t GetMin() { return ItemInt("MIN"); }
    void SetMin(std::int64_t n) { SetItemInt("MIN", n); }
    std::int32_t GetMax() { return ItemInt("MAX"); }
    void SetMax(std::int64_t n) { SetItemInt("MAX", n); }
    // In percent of "SCALE".
    std::int32_t GetThreshold() { return ItemInt("Threshold"); }
    void SetThreshold(std::int64_t n) { SetItemInt("Threshold", n); }
    int GetCalc() { return CalcFromName(ItemValue("CALC")); }
    void SetCalc(int kind) { SetItemValue("CALC", CalcName(kind)); }
    std::string GetDim() { return ItemValue("DIM"); }
    void SetDim(const std::string& text) { SetItemValue("DIM", text); }
    std::string GetName() override { return ItemValue("NAME"); }
    void SetName(const std::string& text) override { SetItemValue("NAME", text); }

    // The parameter row form: index, "Group", "Class", "MODE", "STATE",
    // "Assoc", "FORMAT" (bytes), "SCALE", "VALUE", "MIN", "MAX", the raw
    // threshold (words), "CALC" (byte), "NAME", "DIM" (short texts). Missing
    // bytes read as 0. Readers answer whether they changed an item: not for
    // an empty body or an index that is not an item. A raw threshold becomes
    // percent of the "SCALE" just read; with "SCALE" 0 it is 0.
    bool ReadRow(TMemoryStream& s) { return ReadRowAt(s, 0); }
    bool ReadChildRow(TMemoryStream& s) { return ReadRowAt(s, 1); }
    // Only for bodies of more than 3 bytes: a new item, then the row, which
    // fills it only when the body's index is its index.
    bool AddRow(TMemoryStream& s);
    bool AddChildRow(TMemoryStream& s);
    // The current parameter in the row form, at the stream's position.
    void WriteRow(TMemoryStream& s);
    // The values form: a count, then (index byte, "VALUE" word) pairs. Pairs
    // whose index is not an item are skipped whole; reading stops at a pair
    // cut short. Answers how many values were set.
    int ReadValues(TMemoryStream& s) { return ReadValuesAt(s, 0); }
    int ReadChildValues(TMemoryStream& s) { return ReadValuesAt(s, 1); }

private:
    bool ReadRowAt(TMemoryStream& s, std::size_t offset);
    int ReadValuesAt(TMemoryStream& s, std::size_t offset);
};
