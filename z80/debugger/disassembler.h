// Text and length of one Z80 instruction.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Disassembles the instruction whose bytes start at bytes[0] (size bytes are
// available; the walk never reads past them). address is that of bytes[0],
// used for relative jump targets. hex selects "#%04X"-style numbers, else
// decimal. Returns the text; length receives the bytes consumed, prefixes
// included.
std::string Z80Disassemble(const uint8_t* bytes, size_t size, uint16_t address, bool hex,
                           int& length);
