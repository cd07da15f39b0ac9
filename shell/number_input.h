// Asking the user for one integer: shown in a caller's format ("#%04X"),
// typed as decimal or hexadecimal ("#", "$", "x" or "0x" in front), checked
// against inclusive bounds and asked again until it is valid or cancelled.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

inline constexpr const char* kNumberRequiredMessage = "It is required to enter number!";

// Formats value with a printf-style format holding one integer conversion
// (%d, %i, %u, %x or %X, with an optional '0' flag and width; "%%" is a
// percent sign). Hexadecimal and %u show a negative value's 32 bits. Text
// beyond 1024 characters is cut.
std::string FormatNumber(std::string_view format, int32_t value);

// Converts an entry. One that begins with '#' (blanks around it ignored) is
// first rewritten in editText to its "0x" form; any other is converted as it
// stands: leading blanks, then a sign and decimal digits, or a "$", "x" or
// "0x" prefix and up to 8 hexadecimal digits (from #80000000 negative), and
// nothing after the digits. Empty when the entry is no number.
std::optional<int32_t> ConvertNumber(std::string& editText);

// "The number in the range <low> required...<high> !"
std::string RangeMessage(int32_t low, int32_t high);

// Shows the input query until the entry is a number within low..high (each
// refusal is reported and the entry shown again as it was left). True with
// the number stored into value; false on Cancel, value unchanged.
bool InputNumber(std::string_view caption, std::string_view prompt, int32_t& value,
                 std::string_view format, int32_t low, int32_t high);
