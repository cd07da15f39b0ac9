// Asking the user for one integer: shown in a caller's format ("#%04X"),
// typed as decimal or hexadecimal ("#", "$", "x" or "0x" in front), checked
// against inclusive bounds and asked again until it is valid or cancelled.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/number_entry.h"

inline constexpr const char* kNumberRequiredMessage = "It is required to enter number!";

// Formats value with a printf-style format holding one integer conversion
// (%d, %i, %u, %x or %X, with an optional '0' flag and width; "%%" is a
// percent sign). Hexadecimal and %u show a negative value's 32 bits. Text
// beyond 1024 characters is cut.
std::string FormatNumber(std::string_view format, int32_t value);

// The conversion is the processor library's too: one set of spellings.
using platform::ConvertNumber;

// "The number in the range <low> required...<high> !"
std::string RangeMessage(int32_t low, int32_t high);

// Shows the input query until the entry is a number within low..high (each
// refusal is reported and the entry shown again as it was left). True with
// the number stored into value; false on Cancel, value unchanged.
bool InputNumber(std::string_view caption, std::string_view prompt, int32_t& value,
                 std::string_view format, int32_t low, int32_t high);
