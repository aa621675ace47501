// A device's definition: one item with its place on the bus, type, mode,
// state and how many items of each kind it has and may have.
#pragma once

#include "Attribute.h"

class TObjectDef : public TObjFieldTab {
public:
    TObjectDef(TLANObject* device, TSDBase* table);

    // The one item with its seventeen rows, all 0 but "Program Version" "?".
    void AddItem();

    std::int32_t GetOwner() { return ItemInt("OWNER"); }
    std::int32_t GetDevID() { return ItemInt("DEVID"); }
    std::int32_t GetMode() { return ItemInt("MODE"); }
    std::int32_t GetState() { return ItemInt("STATE"); }
    std::int32_t GetAttrCount() { return ItemInt("AttrCount"); }
    std::int32_t GetParamCount() { return ItemInt("ParamCount"); }
    std::int32_t GetControlsCount() { return ItemInt("ControlsCount"); }
    std::int32_t GetCommandCount() { return ItemInt("CommandCount"); }
    std::int32_t GetChildDevCount() { return ItemInt("ChildDevCount"); }
    std::int32_t GetLanAddress() { return ItemInt("LANADDRESS"); }
    std::string GetProgramVersion() { return ItemValue("Program Version"); }

    void SetLine(std::int64_t n) { SetItemInt("LINE", n); }
    void SetOwner(std::int64_t n) { SetItemInt("OWNER", n); }
    void SetDevID(std::int64_t n) { SetItemInt("DEVID", n); }
    void SetMode(std::int64_t n) { SetItemInt("MODE", n); }
    void SetState(std::int64_t n) { SetItemInt("STATE", n); }
    void SetAttrCount(std::int64_t n) { SetItemInt("AttrCount", n); }
    void SetParamCount(std::int64_t n) { SetItemInt("ParamCount", n); }
    void SetControlsCount(std::int64_t n) { SetItemInt("ControlsCount", n); }
    void SetCommandCount(std::int64_t n) { SetItemInt("CommandCount", n); }
    void SetChildDevCount(std::int64_t n) { SetItemInt("ChildDevCount", n); }
    void SetMaxAttrCount(std::int64_t n) { SetItemInt("maxAttrCount", n); }
    void SetMaxParamCount(std::int64_t n) { SetItemInt("maxParamCount", n); }
    void SetMaxControlsCount(std::int64_t n) { SetItemInt("maxControlsCount", n); }
    void SetMaxCommandCount(std::int64_t n) { SetItemInt("maxCommandCount", n); }
    void SetMaxChildDevCount(std::int64_t n) { SetItemInt("maxChildDevCount", n); }
    void SetLanAddress(std::uint8_t address) { SetItemInt("LANADDRESS", address); }
    void SetProgramVersion(const std::string& text) { SetItemValue("Program Version", text); }

    // The definition form: fifteen bytes "LINE" .. "maxChildDevCount", then
    // "Program Version" as a short text; missing bytes read as 0. False only
    // when the definition item does not exist. The child form starts after
    // the hub's address byte.
    bool ReadDefinition(TMemoryStream& s) { return ReadAt(s, 0); }
    bool ReadChildDefinition(TMemoryStream& s) { return ReadAt(s, 1); }

private:
    bool ReadAt(TMemoryStream& s, std::size_t offset);
};
