// The JSON form of a table, for people and for files made by hand. Texts
// travel as JSON strings whose code points are the text's bytes (byte 0xE9
// is U+00E9), so every byte value survives the trip both ways.
#pragma once

#include "SDB.h"

#include <memory>
#include <stdexcept>
#include <string>

// A JSON input that does not describe a table; the message names the place
// ("records[2][1]: ...").
class EJsonTable : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Pretty-printed JSON of the whole table, nested tables included.
std::string TableToJson(TSDBase& table);

// Builds the table a JSON text describes. Throws EJsonTable.
std::unique_ptr<TSDBase> TableFromJson(const std::string& json);

// An indented tree for reading at a terminal.
std::string TableToTree(TSDBase& table);

// Bytes as Latin-1 code points in UTF-8, for terminals and JSON.
std::string BytesToUtf8(const std::string& bytes);
