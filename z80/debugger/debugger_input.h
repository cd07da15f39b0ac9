// The debugger's prompt for one number: decimal, or hexadecimal after '#',
// "$", "x" or "0x" (the program's own prompt takes the same spellings),
// asked again until it is a number in range or the user cancels.
#pragma once

// Shows the query prefilled with Format applied to Value. True with Value set
// when a number in Low..High was entered; false on Cancel, Value unchanged.
bool DebuggerInputNumber(const char* Caption, const char* Prompt, int& Value, const char* Format,
                         int Low, int High);
