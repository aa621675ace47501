// Every truncation and a flipped byte at every offset of a small file must
// end in a sound table or the storage error: never a crash, never a read out
// of bounds (the sanitizer build runs this too).
#include "SDB.h"
#include "SdbFormat.h"
#include "StorageFixtures.h"

#include <gtest/gtest.h>

namespace {

// Reads, and when that works, walks every nested table and writes the result
// back, which must read again: a table that reads must be usable.
void ReadAndUse(const Bytes& bytes, const std::string& what) {
    TMemoryStream s(bytes);
    TSDBase t;
    try {
        if (!t.ReadFromStream(s)) return;
    } catch (const ESDBError& e) {
        EXPECT_GE(e.offset(), 0) << what;
        EXPECT_LE(e.offset(), static_cast<std::int64_t>(bytes.size())) << what;
        return;
    }
    fixtures::Describe(t);
    TMemoryStream again;
    t.WriteToStream(again, TSavedStamp::Keep);
    again.SetPosition(0);
    TSDBase back;
    EXPECT_TRUE(back.ReadFromStream(again)) << what;
    EXPECT_EQ(fixtures::Describe(back), fixtures::Describe(t)) << what;
}

// The same through the file path, whose nested tables stay unread bytes
// until they are looked at.
void CheckAgreesWithReader(const Bytes& bytes, const std::string& what) {
    bool checkOk = true;
    try {
        sdbformat::CheckTableBytes(bytes.data(), bytes.size());
    } catch (const ESDBError&) {
        checkOk = false;
    }
    if (!checkOk) return;
    TMemoryStream s(bytes);
    TSDBase t;
    EXPECT_NO_THROW(EXPECT_TRUE(t.ReadFromStream(s))) << what << ": check passed, read failed";
}

} // namespace

TEST(Corruption, EveryTruncation) {
    const Bytes full = fixtures::SampleBytes();
    for (std::size_t n = 0; n < full.size(); ++n) {
        const Bytes cut(full.begin(), full.begin() + static_cast<long>(n));
        TMemoryStream s(cut);
        TSDBase t;
        bool ok = false;
        try {
            ok = t.ReadFromStream(s);
        } catch (const ESDBError& e) {
            EXPECT_EQ(e.kind(), ESDBError::Kind::Truncated) << "cut at " << n;
        }
        EXPECT_FALSE(ok) << "a cut file must not read as whole, cut at " << n;
    }
}

TEST(Corruption, FlippedByteAtEveryOffset) {
    const Bytes full = fixtures::SampleBytes();
    for (std::size_t at = 0; at < full.size(); ++at)
        for (const std::uint8_t mask :
             {std::uint8_t{0x01}, std::uint8_t{0x80}, std::uint8_t{0xFF}}) {
            Bytes b = full;
            b[at] ^= mask;
            const std::string what =
                "offset " + std::to_string(at) + " mask " + std::to_string(mask);
            ReadAndUse(b, what);
            CheckAgreesWithReader(b, what);
        }
}

TEST(Corruption, LazyNestedTablesReadFromFileMatchTheEagerRead) {
    fixtures::TempDir dir;
    const std::string path = dir.Path("t.sdb");
    const Bytes full = fixtures::SampleBytes();
    fixtures::WriteFileBytes(path, full);
    TSDBase fromFile;
    ASSERT_TRUE(fromFile.LoadFromFile(path));
    TMemoryStream s(full);
    TSDBase fromStream;
    ASSERT_TRUE(fromStream.ReadFromStream(s));
    // Untouched nested tables go back out as the bytes they came in as.
    TMemoryStream out;
    fromFile.WriteToStream(out, TSavedStamp::Keep);
    EXPECT_EQ(out.Data(), full);
    EXPECT_EQ(fixtures::Describe(fromFile), fixtures::Describe(fromStream));
    // A nested table changed after it was looked into is written anew.
    fromFile.GetValue(1, 3)->Table()->SetText(0, 0, "edited");
    TMemoryStream edited;
    fromFile.WriteToStream(edited, TSavedStamp::Keep);
    edited.SetPosition(0);
    TSDBase back;
    ASSERT_TRUE(back.ReadFromStream(edited));
    EXPECT_EQ(back.GetValue(1, 3)->Table()->GetText(0, 0), "edited");
}
