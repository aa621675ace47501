// Arbitrary text as sdbtool's JSON form: refused with EJsonTable or made
// into a table that writes and reads back.
#include "SdbJson.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::unique_ptr<TSDBase> t;
    try {
        t = TableFromJson(std::string(reinterpret_cast<const char*>(data), size));
    } catch (const EJsonTable&) {
        return 0;
    }
    TMemoryStream s;
    t->WriteToStream(s, TSavedStamp::Keep);
    s.SetPosition(0);
    TSDBase back;
    if (!back.ReadFromStream(s)) __builtin_trap();
    t->Modified = false;
    return 0;
}
