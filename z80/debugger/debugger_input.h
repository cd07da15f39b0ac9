// The debugger's prompt for one number: decimal, or hexadecimal after '#'
// (or "0x"), asked again until it is a number in range or the user cancels.
#pragma once

#include <optional>
#include <string_view>

// Shows the query prefilled with Format applied to Value. True with Value set
// when a number in Low..High was entered; false on Cancel, Value unchanged.
bool DebuggerInputNumber(const char* Caption, const char* Prompt, int& Value, const char* Format,
                         int Low, int High);

namespace z80dbg {

// Decimal, or hexadecimal after "0x", with an optional sign; nothing else
// around it. Empty when the text is not such a number or leaves 32 bits.
std::optional<int> ParseInteger(std::string_view text);

}  // namespace z80dbg
