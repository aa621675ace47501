// The access password in the INI file, section "Form1Orv2Main": "Count" is
// the length + 2 and "Count1" .. "CountN" each character's code + 50. The
// scrambling only keeps the password from being read at a glance; it is no
// protection, and the format stays as it is so that existing files work.
#pragma once

#include <cstddef>
#include <string>

class TIniFile;

inline constexpr const char* kPasswordSection = "Form1Orv2Main";
// The longest text a device message can carry, and so the longest password
// worth keeping.
inline constexpr std::size_t kMaxPasswordLength = 255;

// A missing section or key gives the empty password; a missing character key
// reads as the digit of its position ("Count=5" alone is "123"). A "Count"
// announcing more than kMaxPasswordLength characters, as only a hand-edited
// file can, reads the first kMaxPasswordLength of them.
std::string LoadPassword(const TIniFile& ini);

// Writes "Count" and one key per character into `ini` (the caller saves the
// file). Keys left from a longer earlier password stay and are ignored on
// reading. A password longer than kMaxPasswordLength could not be read back
// whole, so it is refused: false, and `ini` is left as it was.
bool SavePassword(TIniFile& ini, const std::string& password);
