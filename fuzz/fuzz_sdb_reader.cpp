// Arbitrary bytes as a table file: the eager reader, the validating walk and
// the lazy file reader must agree, and nothing may crash or read out of bounds.
#include "SDB.h"
#include "SdbFormat.h"

#include <cstdlib>
#include <cstring>

namespace {

// Serves one in-memory file, so the lazy path is fuzzed without disk I/O.
class MemoryEnv : public TFileEnv {
public:
    MemoryEnv(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::int64_t FileSize(const std::string&) override { return static_cast<std::int64_t>(size_); }
    std::shared_ptr<const TBuffer> ReadAll(const std::string&) override {
        auto b = TBuffer::Allocate(size_);
        if (size_) std::memcpy(b->data(), data_, size_);
        return b;
    }
    std::unique_ptr<TWritableFile> CreateTemp(const std::string&, std::string&) override {
        std::abort();
    }
    void Rename(const std::string&, const std::string&) override { std::abort(); }
    bool LinkNoReplace(const std::string&, const std::string&) override { std::abort(); }
    bool RenameNoReplace(const std::string&, const std::string&) override { std::abort(); }
    void Remove(const std::string&) override { std::abort(); }
    void SyncDir(const std::string&) override { std::abort(); }

private:
    const std::uint8_t* data_;
    std::size_t size_;
};

// Everything a reader sees (not the stamps of tables made fresh for values
// the file left out, which carry the clock of the read).
void Describe(TSDBase& t, std::string& out) {
    out += t.TableName + '|' + std::to_string(t.FieldCount()) + '|' + std::to_string(t.RecCount()) +
           '|' + std::to_string(t.Records().NextNumber) + '\n';
    for (int f = 0; f < t.FieldCount(); ++f) {
        const TField* field = t.GetField(f);
        out += field->Name + ':' + FieldTypeName(field->FieldType) + ':' + field->DefaultValue;
        for (const auto& item : field->Items)
            out += ',' + item;
        out += '\n';
    }
    for (int r = 0; r < t.RecCount(); ++r)
        for (int f = 0; f < t.FieldCount(); ++f)
            if (TValue* v = t.GetValue(r, f)) {
                out += v->GetText() + '\n';
                if (TSDBase* nested = v->Table()) Describe(*nested, out);
            }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    bool checked = true;
    try {
        sdbformat::CheckTableBytes(data, size);
    } catch (const ESDBError&) {
        checked = false;
    }

    TMemoryStream s(Bytes(data, data + size));
    TSDBase eager;
    bool eagerOk = false;
    try {
        eagerOk = eager.ReadFromStream(s);
    } catch (const ESDBError&) {
    }
    // A sound file always reads (trailing bytes only fail the check).
    if (checked && !eagerOk) std::abort();

    MemoryEnv env(data, size);
    TSDBase lazy;
    lazy.SetEnv(&env);
    bool lazyOk = false;
    try {
        lazyOk = lazy.LoadFromFile("fuzz.sdb");
    } catch (const ESDBError&) {
    }
    if (lazyOk != eagerOk) std::abort();
    if (lazyOk) {
        std::string a, b;
        Describe(lazy, a);
        Describe(eager, b);
        if (a != b) std::abort();
        // What reads must write and read again.
        TMemoryStream out;
        lazy.WriteToStream(out, TSavedStamp::Keep);
        out.SetPosition(0);
        TSDBase again;
        if (!again.ReadFromStream(out)) std::abort();
        std::string c;
        Describe(again, c);
        if (c != a) std::abort();
    }
    return 0;
}
