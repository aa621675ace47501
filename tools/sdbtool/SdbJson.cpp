#include "SdbJson.h"

#include <cmath>
#include <ctime>
#include <nlohmann/json.hpp>
#include <sstream>

using Json = nlohmann::ordered_json;

std::string BytesToUtf8(const std::string& bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (const unsigned char c : bytes) {
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

namespace {

[[noreturn]] void Fail(const std::string& where, const std::string& what) {
    throw EJsonTable(where + ": " + what);
}

// The JSON parser has checked the UTF-8; what is left is the range.
std::string Utf8ToBytes(const std::string& utf8, const std::string& where) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if ((c == 0xC2 || c == 0xC3) && i + 1 < utf8.size()) {
            const unsigned char d = static_cast<unsigned char>(utf8[++i]);
            out.push_back(static_cast<char>(((c & 0x03) << 6) | (d & 0x3F)));
        } else {
            Fail(where, "a text holds a character above U+00FF, which no byte can carry");
        }
    }
    if (out.size() > 255) Fail(where, "a text is longer than 255 bytes");
    return out;
}

Json Number(double d) {
    if (std::isfinite(d)) return d;
    return std::isnan(d) ? "nan" : (d > 0 ? "inf" : "-inf");
}

Json TableJson(TSDBase& t);

Json FieldJson(const TField& f) {
    Json j;
    j["name"] = BytesToUtf8(f.Name);
    j["caption"] = BytesToUtf8(f.Caption);
    j["type"] = FieldTypeName(f.FieldType);
    if (f.FieldType == idfList) {
        Json items = Json::array();
        for (const auto& item : f.Items)
            items.push_back(BytesToUtf8(item));
        j["items"] = items;
    }
    j["kind"] = FieldKindName(f.FieldKind);
    j["reserved"] = {BytesToUtf8(f.ReservedText1), BytesToUtf8(f.ReservedText2),
                     BytesToUtf8(f.ReservedText3)};
    j["default"] = BytesToUtf8(f.DefaultValue);
    j["reservedByte"] = f.ReservedByte;
    return j;
}

Json TableJson(TSDBase& t) {
    Json j;
    j["signature"] = "SSDB.";
    j["backupName"] = BytesToUtf8(t.BackupName);
    j["tableName"] = BytesToUtf8(t.TableName);
    j["description"] = BytesToUtf8(t.Description);
    j["saveCount"] = t.SaveCount;
    j["localeId"] = t.LocaleID;
    j["created"] = Number(t.Created);
    j["saved"] = Number(t.Saved);
    Json fields = Json::array();
    for (int i = 0; i < t.FieldCount(); ++i)
        fields.push_back(FieldJson(*t.GetField(i)));
    j["fields"] = fields;
    j["nextNumber"] = t.Records().NextNumber;
    Json records = Json::array();
    for (int r = 0; r < t.RecCount(); ++r) {
        Json rec = Json::array();
        const TRecord* record = t.GetRecord(r);
        for (int i = 0; i < record->Count() && i < t.FieldCount(); ++i) {
            TValue* v = record->Values(i);
            if (v->IsTableValue()) {
                Json value;
                value["text"] = BytesToUtf8(v->GetText());
                TSDBase* nested = v->Table();
                value["table"] = nested ? TableJson(*nested) : Json(nullptr);
                rec.push_back(value);
            } else {
                rec.push_back(BytesToUtf8(v->GetText()));
            }
        }
        records.push_back(rec);
    }
    j["records"] = records;
    return j;
}

// ---- reading

const Json& Member(const Json& obj, const char* key, const std::string& where) {
    const auto it = obj.find(key);
    if (it == obj.end()) Fail(where, std::string("\"") + key + "\" is missing");
    return *it;
}

std::string Text(const Json& j, const std::string& where) {
    if (!j.is_string()) Fail(where, "expected a text");
    return Utf8ToBytes(j.get<std::string>(), where);
}

std::int32_t Int32(const Json& j, const std::string& where) {
    if (!j.is_number_integer()) Fail(where, "expected a whole number");
    if (j.is_number_unsigned()) {
        const auto v = j.get<std::uint64_t>();
        if (v > 2147483647u) Fail(where, "the number does not fit 32 bits");
        return static_cast<std::int32_t>(v);
    }
    const auto v = j.get<std::int64_t>();
    if (v < -2147483648LL || v > 2147483647LL) Fail(where, "the number does not fit 32 bits");
    return static_cast<std::int32_t>(v);
}

double Date(const Json& j, const std::string& where) {
    if (j.is_number()) return j.get<double>();
    if (j.is_string()) {
        const std::string s = j.get<std::string>();
        if (s == "nan") return std::nan("");
        if (s == "inf") return HUGE_VAL;
        if (s == "-inf") return -HUGE_VAL;
    }
    Fail(where, "expected a date as a number of days");
}

void FieldFromJson(TField& f, const Json& j, const std::string& where) {
    if (!j.is_object()) Fail(where, "expected a field object");
    f.Name = Text(Member(j, "name", where), where + ".name");
    f.Caption = Text(Member(j, "caption", where), where + ".caption");
    const std::string type = Text(Member(j, "type", where), where + ".type");
    f.FieldType = FieldTypeFromName(type);
    if (FieldTypeName(f.FieldType) != type) Fail(where + ".type", "unknown type \"" + type + "\"");
    if (f.FieldType == idfList) {
        const Json& items = Member(j, "items", where);
        if (!items.is_array()) Fail(where + ".items", "expected a list of texts");
        for (std::size_t i = 0; i < items.size(); ++i)
            f.Items.push_back(Text(items[i], where + ".items[" + std::to_string(i) + "]"));
    } else if (j.contains("items")) {
        Fail(where + ".items", "only a field of type List has choices");
    }
    const std::string kind = Text(Member(j, "kind", where), where + ".kind");
    f.FieldKind = FieldKindFromName(kind);
    if (FieldKindName(f.FieldKind) != kind) Fail(where + ".kind", "unknown kind \"" + kind + "\"");
    const Json& reserved = Member(j, "reserved", where);
    if (!reserved.is_array() || reserved.size() != 3)
        Fail(where + ".reserved", "expected three texts");
    f.ReservedText1 = Text(reserved[0], where + ".reserved[0]");
    f.ReservedText2 = Text(reserved[1], where + ".reserved[1]");
    f.ReservedText3 = Text(reserved[2], where + ".reserved[2]");
    f.DefaultValue = Text(Member(j, "default", where), where + ".default");
    const std::int32_t b = Int32(Member(j, "reservedByte", where), where + ".reservedByte");
    if (b < 0 || b > 255) Fail(where + ".reservedByte", "expected 0 to 255");
    f.ReservedByte = static_cast<std::uint8_t>(b);
}

void TableFromJsonInto(TSDBase& t, const Json& j, const std::string& where, int depth) {
    if (depth > 64) Fail(where, "tables nest deeper than 64");
    if (!j.is_object()) Fail(where, "expected a table object");
    if (Text(Member(j, "signature", where), where + ".signature") != "SSDB.")
        Fail(where + ".signature", "a table's signature is \"SSDB.\"");
    t.BackupName = Text(Member(j, "backupName", where), where + ".backupName");
    t.TableName = Text(Member(j, "tableName", where), where + ".tableName");
    t.Description = Text(Member(j, "description", where), where + ".description");
    t.SaveCount = Int32(Member(j, "saveCount", where), where + ".saveCount");
    t.LocaleID = Int32(Member(j, "localeId", where), where + ".localeId");
    t.Created = Date(Member(j, "created", where), where + ".created");
    t.Saved = Date(Member(j, "saved", where), where + ".saved");

    t.Clear();
    const Json& fields = Member(j, "fields", where);
    if (!fields.is_array()) Fail(where + ".fields", "expected a list of fields");
    for (std::size_t i = 0; i < fields.size(); ++i)
        FieldFromJson(*t.Fields().Add(), fields[i], where + ".fields[" + std::to_string(i) + "]");
    const std::int32_t nextNumber = Int32(Member(j, "nextNumber", where), where + ".nextNumber");

    const Json& records = Member(j, "records", where);
    if (!records.is_array()) Fail(where + ".records", "expected a list of records");
    for (std::size_t r = 0; r < records.size(); ++r) {
        const std::string at = where + ".records[" + std::to_string(r) + "]";
        const Json& rec = records[r];
        if (!rec.is_array()) Fail(at, "expected a list of values");
        if (rec.size() > static_cast<std::size_t>(t.FieldCount()))
            Fail(at, "more values than the table has fields");
        TRecord* record = t.Records().Append();
        for (std::size_t i = 0; i < rec.size(); ++i) {
            const std::string vat = at + "[" + std::to_string(i) + "]";
            TValue* v = record->Values(static_cast<int>(i));
            if (v->IsTableValue()) {
                if (!rec[i].is_object())
                    Fail(vat, "a Table field's value is {\"text\", \"table\"}");
                const std::string text = Text(Member(rec[i], "text", vat), vat + ".text");
                const Json& nested = Member(rec[i], "table", vat);
                if (nested.is_null()) {
                    // A value that has no nested table is written with an
                    // empty one (stamped with its table's time), which is
                    // what this makes.
                    TSDBase* table = v->Table();
                    table->Created = table->Saved = t.Saved;
                    v->SetText(text);
                } else {
                    TableFromJsonInto(*v->Table(), nested, vat + ".table", depth + 1);
                    if (v->GetText() != text)
                        Fail(vat + ".text", "must equal the nested table's tableName");
                }
            } else {
                v->SetText(Text(rec[i], vat));
            }
        }
    }
    t.Records().NextNumber = nextNumber;
    t.Modified = true;
}

std::string FormatDate(double d) {
    if (!std::isfinite(d) || d < -657434.0 || d > 2958465.0) return "(not a date)";
    const double secs = std::round((d - 25569.0) * 86400.0);
    const std::time_t tt = static_cast<std::time_t>(secs);
    std::tm tm{};
    gmtime_r(&tt, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
    return buf;
}

std::string Quoted(const std::string& bytes) {
    std::string out = "\"";
    for (const char ch : BytesToUtf8(bytes)) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        } else {
            out += ch;
        }
    }
    return out + "\"";
}

void TreeInto(TSDBase& t, std::ostringstream& out, const std::string& in) {
    out << in << "table " << Quoted(t.TableName) << "\n";
    out << in << "  backup " << Quoted(t.BackupName) << ", description " << Quoted(t.Description)
        << ", saves " << t.SaveCount << ", locale " << t.LocaleID << "\n";
    out << in << "  created " << FormatDate(t.Created) << " (" << t.Created << "), saved "
        << FormatDate(t.Saved) << " (" << t.Saved << ")\n";
    out << in << "  fields: " << t.FieldCount() << "\n";
    for (int i = 0; i < t.FieldCount(); ++i) {
        const TField& f = *t.GetField(i);
        out << in << "    " << i << " " << Quoted(f.Name) << " " << FieldTypeName(f.FieldType);
        if (!f.Caption.empty()) out << " caption " << Quoted(f.Caption);
        if (f.FieldType == idfList) {
            out << " choices [";
            for (std::size_t k = 0; k < f.Items.size(); ++k)
                out << (k ? ", " : "") << Quoted(f.Items[k]);
            out << "]";
        }
        out << " kind " << FieldKindName(f.FieldKind) << " default " << Quoted(f.DefaultValue);
        out << "\n";
    }
    out << in << "  records: " << t.RecCount() << ", next number " << t.Records().NextNumber
        << "\n";
    for (int r = 0; r < t.RecCount(); ++r) {
        out << in << "    [" << r << "]\n";
        for (int i = 0; i < t.FieldCount(); ++i) {
            TValue* v = t.GetValue(r, i);
            if (!v) continue;
            out << in << "      " << BytesToUtf8(t.GetField(i)->Name) << " = "
                << Quoted(v->GetText()) << "\n";
            if (TSDBase* nested = v->Table()) TreeInto(*nested, out, in + "        ");
        }
    }
}

} // namespace

std::string TableToJson(TSDBase& table) {
    return TableJson(table).dump(2) + "\n";
}

std::unique_ptr<TSDBase> TableFromJson(const std::string& json) {
    Json j;
    try {
        j = Json::parse(json);
    } catch (const Json::exception& e) {
        // parse_error, and out_of_range for a number too large for a double.
        throw EJsonTable(std::string("not JSON: ") + e.what());
    }
    auto t = std::make_unique<TSDBase>();
    TableFromJsonInto(*t, j, "table", 0);
    return t;
}

std::string TableToTree(TSDBase& table) {
    std::ostringstream out;
    out.precision(17);
    TreeInto(table, out, "");
    return out.str();
}
