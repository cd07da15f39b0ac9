// The character sets of the memory dump's text column. The tables stay byte
// tables in the Windows Cyrillic code page (1251), as the dump has always
// kept them; they become Unicode only when drawn.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace z80dbg {

enum class MemoryCharSet { Windows, Dos, Koi8, Spectrum };

// Bytes 0x80..0xFF of the DOS Cyrillic code page (866) and of KOI8-R as
// Windows-1251 bytes. Line drawing becomes '-', '|' or '+', shades and
// blocks 0x7F; what has no sensible stand-in is 0 (shown as '.').
extern const std::array<uint8_t, 128> DosToWindowsCyrillic;
extern const std::array<uint8_t, 128> Koi8ToWindowsCyrillic;

// The text of each byte in the Spectrum's own character set: '.' for
// controls, ASCII, the two signs the Spectrum puts at 0x60 and 0x7F, and its
// BASIC keyword tokens from 0xA5 on. UTF-8.
extern const std::array<std::string_view, 256> SpectrumCharStrings;

using CharTable = std::array<uint8_t, 256>;

// The table of a byte-table set (not Spectrum, which uses the strings):
// '.' below 32, the byte itself up to 127, the set's own upper half, and '.'
// again where that half holds a control code.
CharTable MakeCharTable(MemoryCharSet set);

// The Unicode character of a Windows-1251 byte (0x98, unassigned there, is
// U+FFFD).
char16_t Cp1251ToUnicode(uint8_t byte);

}  // namespace z80dbg
