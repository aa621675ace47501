// Everything in a device table is text; these are the conversions at its
// edge. They never depend on the locale: a site's tables are read on
// machines with any regional settings.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The decimal integer of `text`: optional blanks around it, an optional sign,
// then digits; "$" or "0x" before the digits reads them as hexadecimal, as
// tables written by older tools of the sites may hold. Nothing when the text is
// not such a number or does not fit 32 bits signed.
std::optional<std::int32_t> TextToInt(std::string_view text);

// TextToInt, or 0 for text that is not a number. Tables come from files that
// people edit by hand and from devices; a getter that fails on them would take
// the whole view down, so it answers 0 and the editors refuse such input where
// it is typed.
std::int32_t IntOrZero(std::string_view text);

std::string IntText(std::int64_t n);

// Nearest integer, halves to the even neighbour, whatever the FPU rounding mode.
double RoundHalfEven(double x);
