#include "IniFile.h"

#include <SimpleIni.h>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

class TIniStore {
public:
    TIniStore() : ini(false, false, false) {}
    CSimpleIniA ini;
};

TIniFile::TIniFile() : ini_(std::make_unique<TIniStore>()) {}
TIniFile::~TIniFile() = default;

bool TIniFile::Load(const std::string& path) {
    error_.clear();
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (status.type() == std::filesystem::file_type::not_found) return LoadText({});
    if (status.type() != std::filesystem::file_type::regular) {
        error_ = path + ": not a readable file";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error_ = path + ": " + std::strerror(errno);
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) {
        error_ = path + ": read error";
        return false;
    }
    return LoadText(text.str());
}

bool TIniFile::LoadText(const std::string& text) {
    error_.clear();
    ini_->ini.Reset();
    if (ini_->ini.LoadData(text.data(), text.size()) < 0) {
        error_ = "the INI text could not be read";
        return false;
    }
    return true;
}

bool TIniFile::Save(const std::string& path) {
    error_.clear();
    std::string text;
    if (ini_->ini.Save(text) < 0) {
        error_ = "the INI text could not be built";
        return false;
    }
    const std::string temp = path + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        out.flush();
        if (!out) {
            error_ = temp + ": write failed";
            std::remove(temp.c_str());
            return false;
        }
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        error_ = path + ": " + std::strerror(errno);
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

std::string TIniFile::ReadString(const std::string& section, const std::string& key,
                                 const std::string& def) const {
    const char* v = ini_->ini.GetValue(section.c_str(), key.c_str(), nullptr);
    return v ? std::string(v) : def;
}

long TIniFile::ReadInteger(const std::string& section, const std::string& key, long def) const {
    const std::string text = ReadString(section, key, {});
    long value = 0;
    const char* first = text.data();
    const char* last = text.data() + text.size();
    if (first != last && *first == '+') ++first;
    const auto [ptr, ec] = std::from_chars(first, last, value);
    if (ec != std::errc() || ptr != last || first == last) return def;
    return value;
}

bool TIniFile::ReadBool(const std::string& section, const std::string& key, bool def) const {
    const std::string text = ReadString(section, key, {});
    if (text == "1" || text == "true" || text == "TRUE" || text == "True") return true;
    if (text == "0" || text == "false" || text == "FALSE" || text == "False") return false;
    return def;
}

void TIniFile::WriteString(const std::string& section, const std::string& key,
                           const std::string& value) {
    ini_->ini.SetValue(section.c_str(), key.c_str(), value.c_str());
}

void TIniFile::WriteInteger(const std::string& section, const std::string& key, long value) {
    WriteString(section, key, std::to_string(value));
}

void TIniFile::WriteBool(const std::string& section, const std::string& key, bool value) {
    WriteString(section, key, value ? "1" : "0");
}

std::vector<std::string> TIniFile::Keys(const std::string& section) const {
    CSimpleIniA::TNamesDepend keys;
    ini_->ini.GetAllKeys(section.c_str(), keys);
    keys.sort(CSimpleIniA::Entry::LoadOrder());
    std::vector<std::string> out;
    for (const auto& k : keys)
        out.emplace_back(k.pItem);
    return out;
}
