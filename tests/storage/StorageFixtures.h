// Small tables and a scratch folder shared by the table store's tests.
#pragma once

#include "SDB.h"

#include <filesystem>
#include <memory>
#include <string>

namespace fixtures {

// A fresh folder under the system's temp folder, removed again at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string Path(const std::string& name) const { return (dir_ / name).string(); }
    const std::filesystem::path& Dir() const { return dir_; }
    // Every file in the folder, by name.
    std::vector<std::string> Names() const;

private:
    std::filesystem::path dir_;
};

// A table shaped like the program's own: an autoincrement ID, a text, a list
// with choices and a nested table whose records hold nested tables again.
std::unique_ptr<TSDBase> MakeSampleTable();

// The sample table's bytes with fixed stamps, so they compare across runs.
Bytes SampleBytes();

Bytes ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const Bytes& bytes);

// Everything a reader sees of a table (fields, texts, nested tables), one
// line per item, for comparing two tables in a single assertion.
std::string Describe(TSDBase& table);

} // namespace fixtures
