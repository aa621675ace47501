#include "AccessPassword.h"

#include "IniFile.h"

namespace {

constexpr const char* kCountKey = "Count";
constexpr long kCountOffset = 2;
constexpr unsigned long kCharacterOffset = 50;

std::string CharacterKey(std::size_t index) {
    return kCountKey + std::to_string(index);
}

} // namespace

std::string LoadPassword(const TIniFile& ini) {
    const long count = ini.ReadInteger(kPasswordSection, kCountKey, kCountOffset);
    if (count <= kCountOffset) return {};
    const auto announced = static_cast<unsigned long>(count - kCountOffset);
    const std::size_t length = announced < kMaxPasswordLength ? announced : kMaxPasswordLength;

    std::string password;
    password.reserve(length);
    for (std::size_t i = 1; i <= length; ++i) {
        // A missing key reads as the digit of its position.
        const auto def = static_cast<long>(i + '0' + kCharacterOffset);
        // Unsigned arithmetic keeps the low 8 bits of any stored number,
        // negative or at the edge of the range, without overflow.
        const auto value =
            static_cast<unsigned long>(ini.ReadInteger(kPasswordSection, CharacterKey(i), def));
        password.push_back(static_cast<char>((value - kCharacterOffset) & 0xFFu));
    }
    return password;
}

bool SavePassword(TIniFile& ini, const std::string& password) {
    if (password.size() > kMaxPasswordLength) return false;
    ini.WriteInteger(kPasswordSection, kCountKey,
                     static_cast<long>(password.size()) + kCountOffset);
    for (std::size_t i = 0; i < password.size(); ++i) {
        const long code = static_cast<unsigned char>(password[i]);
        ini.WriteInteger(kPasswordSection, CharacterKey(i + 1),
                         code + static_cast<long>(kCharacterOffset));
    }
    return true;
}
