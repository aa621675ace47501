#include "StorageFixtures.h"

#include <algorithm>
#include <fstream>
#include <random>
#include <sstream>

namespace fixtures {

TempDir::TempDir() {
    std::random_device rd;
    dir_ = std::filesystem::temp_directory_path() /
           ("tvs-storage-" + std::to_string(rd()) + "-" + std::to_string(rd()));
    std::filesystem::create_directories(dir_);
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(dir_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(dir_, ec);
}

std::vector<std::string> TempDir::Names() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir_))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

namespace {
void Stamp(TSDBase& t) {
    t.Created = 46000.25;
    t.Saved = 46000.5;
}
} // namespace

std::unique_ptr<TSDBase> MakeSampleTable() {
    auto t = CreateTable({"ID", "NAME", "KIND", "DATA"},
                         {idfAutoincrement, idfString, idfList, idfTable});
    t->TableName = "Sample";
    t->Description = "devices";
    Stamp(*t);
    TField* kind = t->GetField(2);
    kind->Items = {"Exciter", "Amplifier", "PLL"};
    kind->DefaultValue = "amplifier";
    for (int i = 0; i < 3; ++i) {
        t->AppendRecord();
        t->SetText(i, 1, "Device \xE9" + std::to_string(i));
        TSDBase* inner = t->GetValue(i, 3)->Table();
        Stamp(*inner);
        inner->AddFields({"NAME", "VALUE", "ATTRIBUTES"}, {idfString, idfDWord, idfTable});
        for (int k = 0; k < i + 1; ++k) {
            inner->AppendRecord();
            inner->SetText(k, 0, "P" + std::to_string(k));
            inner->SetText(k, 1, std::to_string(100 * k));
            TSDBase* leaf = inner->GetValue(k, 2)->Table();
            Stamp(*leaf);
            leaf->AddFields({"ID", "TYPE"}, {idfDWord, idfTypeField});
            leaf->AppendRecord();
            leaf->SetText(0, 0, "7");
            leaf->SetText(0, 1, "Byte");
        }
    }
    return t;
}

Bytes SampleBytes() {
    TMemoryStream s;
    MakeSampleTable()->WriteToStream(s, TSavedStamp::Keep);
    return s.Data();
}

Bytes ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

namespace {
void DescribeInto(TSDBase& t, std::ostringstream& out, const std::string& indent) {
    out << indent << "table '" << t.TableName << "' next " << t.Records().NextNumber << "\n";
    for (int f = 0; f < t.FieldCount(); ++f) {
        const TField* field = t.GetField(f);
        out << indent << " field " << field->Name << ":" << FieldTypeName(field->FieldType)
            << " default '" << field->DefaultValue << "' items";
        for (const auto& item : field->Items)
            out << " " << item;
        out << "\n";
    }
    for (int r = 0; r < t.RecCount(); ++r)
        for (int f = 0; f < t.FieldCount(); ++f) {
            TValue* v = t.GetValue(r, f);
            out << indent << " [" << r << "," << f << "] '" << v->GetText() << "'\n";
            if (TSDBase* nested = v->Table()) DescribeInto(*nested, out, indent + "  ");
        }
}
} // namespace

std::string Describe(TSDBase& table) {
    std::ostringstream out;
    DescribeInto(table, out, "");
    return out.str();
}

} // namespace fixtures
