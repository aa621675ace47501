// The program's INI file: integers, texts and booleans by section and key.
// Over SimpleIni, which keeps the order of sections and keys and compares
// names without regard to case, as INI files edited by hand expect.
#pragma once

#include <memory>
#include <string>
#include <vector>

class TIniStore;

class TIniFile {
public:
    TIniFile();
    ~TIniFile();
    TIniFile(const TIniFile&) = delete;
    TIniFile& operator=(const TIniFile&) = delete;

    // Reads the file; a missing file is an empty one. False (with the
    // reason in Error()) when the file exists but cannot be read.
    bool Load(const std::string& path);
    // Takes the text of a file; the bytes are 8-bit texts, never converted.
    bool LoadText(const std::string& text);
    // Writes to a temporary file beside the target and renames it over, so
    // a crash never leaves half a file.
    bool Save(const std::string& path);
    const std::string& Error() const { return error_; }

    std::string ReadString(const std::string& section, const std::string& key,
                           const std::string& def) const;
    // A value that is not a whole number in range reads as `def`.
    long ReadInteger(const std::string& section, const std::string& key, long def) const;
    // "1"/"0" as the profile functions write them; "true"/"false" too.
    bool ReadBool(const std::string& section, const std::string& key, bool def) const;
    void WriteString(const std::string& section, const std::string& key, const std::string& value);
    void WriteInteger(const std::string& section, const std::string& key, long value);
    void WriteBool(const std::string& section, const std::string& key, bool value);
    // The keys of a section in file order.
    std::vector<std::string> Keys(const std::string& section) const;

private:
    std::unique_ptr<TIniStore> ini_;
    std::string error_;
};
