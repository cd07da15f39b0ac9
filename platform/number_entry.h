// The conversion of a typed number, shared by the program's prompt and the
// processor library's: both accept the same spellings, each with its own
// texts around it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace platform {

// Converts an entry. One that begins with '#' (blanks around it ignored) is
// first rewritten in editText to its "0x" form; any other is converted as it
// stands: leading blanks, then a sign and decimal digits, or a "$", "x" or
// "0x" prefix and up to 8 hexadecimal digits (from #80000000 negative), and
// nothing after the digits. Empty when the entry is no number.
std::optional<int32_t> ConvertNumber(std::string& editText);

}  // namespace platform
