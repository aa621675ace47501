// The table file format, in one place: constants, the byte reader and
// writer, and the reading, validating and writing of the table stream form.
// README.md beside this file describes the layout in prose.
#pragma once

#include "SDB.h"

#include <bit>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

static_assert(std::endian::native == std::endian::little,
              "the format's integers and doubles are copied as little-endian bytes");

namespace sdbformat {

inline constexpr std::string_view kSignature = "SSDB.";
// Written before the choices of an idfList field.
inline constexpr std::string_view kListMarker = "[FL]";
// Real files nest four or five deep (history, device list, device, item
// table, item); the limit keeps a crafted file from exhausting the stack.
inline constexpr int kMaxDepth = 64;
inline constexpr std::size_t kMaxShortText = 255;

// Reads from a byte range with every access bounds-checked. Offsets in errors
// are absolute within the range. When `keep` owns the bytes, nested tables
// are not built but remembered as slices of it.
class Reader {
public:
    Reader(const std::uint8_t* data, std::size_t size, std::size_t pos,
           std::shared_ptr<const TBuffer> keep = nullptr)
        : data_(data), size_(size), pos_(pos), keep_(std::move(keep)) {}

    std::size_t Pos() const { return pos_; }
    const std::uint8_t* Here() const { return data_ + pos_; }
    std::size_t Left() const { return size_ - pos_; }
    std::size_t Size() const { return size_; }
    const std::shared_ptr<const TBuffer>& Keep() const { return keep_; }

    std::uint8_t Byte() {
        Need(1, "a byte");
        return data_[pos_++];
    }
    std::int32_t Int32();
    double Double();
    std::string_view TextView() {
        Need(1, "a text length");
        const std::size_t len = data_[pos_];
        Need(1 + len, "a text");
        std::string_view text(reinterpret_cast<const char*>(data_ + pos_ + 1), len);
        pos_ += 1 + len;
        return text;
    }
    std::string Text() { return std::string(TextView()); }
    void SkipText() {
        if (pos_ >= size_) FailShort("a text length");
        const std::size_t end = pos_ + 1 + data_[pos_];
        if (end > size_) FailShort("a text");
        pos_ = end;
    }
    void Skip(std::size_t n, const char* what) {
        Need(n, what);
        pos_ += n;
    }

    [[noreturn]] void Fail(ESDBError::Kind kind, const std::string& reason, std::size_t at) const;

private:
    void Need(std::size_t n, const char* what) const {
        if (size_ - pos_ < n) FailShort(what);
    }
    [[noreturn]] void FailShort(const char* what) const;

    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_;
    std::shared_ptr<const TBuffer> keep_;
};

// Receives the bytes a Writer produces.
class Sink {
public:
    virtual ~Sink() = default;
    virtual void Put(const std::uint8_t* data, std::size_t n) = 0;
};

// Buffers small writes; large slices go straight to the sink.
class Writer {
public:
    explicit Writer(Sink& sink) : sink_(sink) { buf_.reserve(kBufferSize); }
    void Byte(std::uint8_t b) {
        if (buf_.size() >= kBufferSize) Flush();
        buf_.push_back(b);
    }
    void Int32(std::int32_t v);
    void Double(double v);
    // Cut to 255 bytes: the length byte cannot say more.
    void Text(std::string_view text);
    void Raw(const std::uint8_t* data, std::size_t n);
    void Flush();

private:
    static constexpr std::size_t kBufferSize = 1 << 18;
    Sink& sink_;
    std::vector<std::uint8_t> buf_;
};

// Runs `read` on a Reader over `stream` from its position, then leaves the
// position where the read stopped, also when it failed.
template <class Read> auto ReadInStream(TMemoryStream& stream, Read read) {
    Reader r(stream.Data().data(), stream.Size(), stream.Position());
    struct Advance {
        TMemoryStream& s;
        Reader& r;
        ~Advance() { s.SetPosition(r.Pos()); }
    } advance{stream, r};
    return read(r);
}

// Checks that the bytes hold one whole, sound table and nothing after it.
// Throws ESDBError for the first problem found, with its offset; a wrong
// top-level signature is reported as Corrupt at offset 0.
void CheckTableBytes(const std::uint8_t* data, std::size_t size);

} // namespace sdbformat

// Where a nested table's bytes are, while nobody has looked into it.
struct TRawTable {
    std::shared_ptr<const TBuffer> buffer;
    std::size_t offset = 0;
    std::size_t size = 0;
    int depth = 0;
};

// The readers and writers of every form; a friend of the table classes.
struct TSdbFormat {
    // False on a wrong signature at the top; below the top a wrong signature
    // is corruption. Throws ESDBError.
    static bool ReadTable(TSDBase& table, sdbformat::Reader& r, int depth);
    static void WriteTable(TSDBase& table, sdbformat::Writer& w, TSavedStamp stamp);
    static void ReadField(TField& field, sdbformat::Reader& r);
    static void WriteField(const TField& field, sdbformat::Writer& w);
    static void ReadFields(TFields& fields, sdbformat::Reader& r);
    static void WriteFields(const TFields& fields, sdbformat::Writer& w);
    static void ReadValue(TValue& value, sdbformat::Reader& r, int depth);
    // Reads a record's value count; more values than fields is damage.
    static std::int32_t ReadValueCount(sdbformat::Reader& r, std::int32_t record, int fields);
    static void WriteValue(TValue& value, sdbformat::Writer& w, TSavedStamp stamp,
                           double stampTime);
    // What a walk remembers per nesting depth: the last field list seen
    // there and which of its fields hold tables. Sibling tables nearly always
    // share their field list, which is then recognised by one comparison.
    struct WalkMemo {
        const std::uint8_t* fields = nullptr;
        std::size_t length = 0;
        std::int32_t count = -1;
        std::vector<std::uint8_t> isTable;
    };
    // Sized for the deepest nesting allowed, so memos never move.
    struct WalkState {
        WalkState() : memos(sdbformat::kMaxDepth + 2) {}
        std::vector<WalkMemo> memos;
    };
    // Walks one nested table without building it; returns its TableName.
    static std::string SkipTable(sdbformat::Reader& r, int depth, WalkState& state);
    // Builds a value's nested table from its remembered bytes.
    static void Materialize(TValue& value);
};

// A Sink that writes into a TMemoryStream at its position.
class TStreamSink : public sdbformat::Sink {
public:
    explicit TStreamSink(TMemoryStream& stream) : stream_(stream) {}
    void Put(const std::uint8_t* data, std::size_t n) override { stream_.Write(data, n); }

private:
    TMemoryStream& stream_;
};

// Runs `write` on a Writer into `stream` at its position.
template <class Write> void WriteInStream(TMemoryStream& stream, Write write) {
    TStreamSink sink(stream);
    sdbformat::Writer w(sink);
    write(w);
    w.Flush();
}
