// sdbtool: look into, check and make table files by hand.
#include "SdbFormat.h"
#include "SdbJson.h"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>

namespace {

const char* kUsage = R"(usage:
  sdbtool dump FILE          the table as an indented tree
  sdbtool dump --json FILE   the table as JSON (the form below)
  sdbtool check FILE         exit 0 for a sound file; otherwise exit 1 and
                             print the first problem with its byte offset
  sdbtool make IN.json OUT   write the table that IN.json describes

JSON form (dump --json writes it, make reads it):
  { "signature": "SSDB.", "backupName": "", "tableName": "", "description": "",
    "saveCount": 0, "localeId": 1033, "created": 46000.25, "saved": 46000.25,
    "fields": [ { "name": "NAME", "caption": "", "type": "String",
                  "items": [], "kind": "Data", "reserved": ["", "", ""],
                  "default": "", "reservedByte": 0 } ],
    "nextNumber": 0,
    "records": [ [ "text", { "text": "Table", "table": { ...a table... } } ] ] }

  Texts are JSON strings whose code points are the text's bytes (byte 0xE9 is
  U+00E9), so every byte value round-trips; a text holds at most 255 bytes.
  "items" appears only for type "List". A value of a "Table" field is an object
  with its text (equal to the nested table's "tableName") and its nested table
  (null for a value without one); every other value is a string. Dates are the
  stored doubles: days since 1899-12-30, the time of day as fraction. make
  writes the "saved" stamps given, not the clock, so its output is
  reproducible, and make followed by dump --json gives back the same JSON.

exit status: 0 done, 1 the file or the JSON is not sound, 2 wrong usage
)";

int Usage() {
    std::fputs(kUsage, stderr);
    return 2;
}

int Dump(const std::string& path, bool json) {
    TSDBase t;
    if (!t.LoadFromFile(path)) {
        std::fprintf(stderr, "%s: not a table file (missing, empty or no SSDB. signature)\n",
                     path.c_str());
        return 1;
    }
    std::cout << (json ? TableToJson(t) : TableToTree(t));
    return 0;
}

int Check(const std::string& path) {
    std::shared_ptr<const TBuffer> bytes;
    try {
        if (TFileEnv::Posix()->FileSize(path) < 0) {
            std::fprintf(stderr, "%s: no such file\n", path.c_str());
            return 1;
        }
        bytes = TFileEnv::Posix()->ReadAll(path);
        sdbformat::CheckTableBytes(bytes->data(), bytes->size());
    } catch (const ESDBError& e) {
        std::fprintf(stderr, "%s: %s: %s", path.c_str(), KindName(e.kind()), e.reason().c_str());
        if (e.offset() >= 0)
            std::fprintf(stderr, " at byte %lld", static_cast<long long>(e.offset()));
        std::fputc('\n', stderr);
        return 1;
    }
    TSDBase t;
    t.LoadFromFile(path);
    std::printf("%s: sound, %zu bytes, %d fields, %d records\n", path.c_str(), bytes->size(),
                t.FieldCount(), t.RecCount());
    return 0;
}

int Make(const std::string& in, const std::string& out) {
    std::ifstream file(in, std::ios::binary);
    if (!file) {
        std::fprintf(stderr, "%s: cannot read\n", in.c_str());
        return 1;
    }
    std::stringstream text;
    text << file.rdbuf();
    std::unique_ptr<TSDBase> t;
    try {
        t = TableFromJson(text.str());
    } catch (const EJsonTable& e) {
        std::fprintf(stderr, "%s: %s\n", in.c_str(), e.what());
        return 1;
    }
    t->FileName = out;
    t->WriteToFile(TSavedStamp::Keep);
    t->FileName.clear();
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    try {
        if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (args.size() == 2 && args[0] == "dump") return Dump(args[1], false);
        if (args.size() == 3 && args[0] == "dump" && args[1] == "--json")
            return Dump(args[2], true);
        if (args.size() == 2 && args[0] == "check") return Check(args[1]);
        if (args.size() == 3 && args[0] == "make") return Make(args[1], args[2]);
    } catch (const ESDBError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "sdbtool: %s\n", e.what());
        return 1;
    }
    return Usage();
}
