// Raw parameter numbers and their display text, and the small vocabularies of
// the parameter rows. Every view, report and dialog that shows a parameter
// value goes through FormatValue, so it is exact decimal arithmetic on the
// raw digits: no binary rounding and no locale, "." always.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// FORMAT byte: low nibble the decimals d, high nibble the precision p
// (significant digits).
//
// d = 0: the decimal text of n. Otherwise n / 10^d with exactly d decimals,
// rounded to p significant digits (halves away from zero), digits beyond p
// shown as 0: hex 32 and 1234 give "12.30". The precision never cuts into
// the integer part: when p is below the number of integer digits the value
// is rounded to a whole number and shown in full with zero decimals (hex 12
// and 1256 give "13.00", never "1E1"). p = 0 means no limit: every digit of n
// is shown (hex 02 and 1234 give "12.34").
std::string FormatValue(int format, std::uint32_t n);

// The raw number of a display text: d = 0, a decimal integer; otherwise a
// decimal number (optional sign, digits with at most one ".", optional
// exponent) times 10^d, rounded to the nearest integer with halves to the
// even neighbour, computed exactly on the decimal digits. Throws
// EConvertError for text that is not such a number or whose raw number lies
// outside -2^31 .. 2^32 - 1.
std::int64_t ParseValue(int format, std::string_view text);

// Calculation kinds: 0 "Linear", 1 "Square-law", 2 "Temperature",
// 3 "Linear Pik", 4 "Square-law Pik".
// The kind of a name; 0 for any other text.
int CalcFromName(std::string_view text);
// The name of kinds 1 to 4; "Linear" for any other number.
std::string CalcName(int kind);
// Replaces the list's contents with the five names in kind order.
void FillCalcNames(std::vector<std::string>* list);

// The low byte of n as two uppercase hex digits.
std::string ByteToHex(int n);
// The value of a text of hex digits (either case). Throws EConvertError for
// an empty text, a character that is not a hex digit, or more than 32 bits.
std::uint32_t HexToInt(std::string_view text);
