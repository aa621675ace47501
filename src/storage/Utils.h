// Small routines beside the table store.
#pragma once

#include "Stream.h"

#include <cstdint>
#include <string>

// Local date and time as days since 1899-12-30 with the time of day as fraction.
double DateTimeNow();

// One length byte then the bytes; more than 255 bytes are cut to 255.
void WriteShortText(const std::string& text, TMemoryStream& stream);

// The 24-bit RGB colour of step `number` of the 16-step colour cycle; white
// for any number outside 1..16.
std::uint32_t CycleColor(int number);
