// One line of the debugger's code display: the instruction at an address read
// through the processor's memory callback, its text and its T-states.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct TZ80Object;

namespace z80dbg {

struct DasmCodeLine {
  std::string Text;  // instruction padded to 20 columns, "; ", T-states, " T"
  int Length = 1;    // bytes of the instruction, at least 1
};

// Reads count bytes from address on, wrapping at #FFFF, through OnRead.
std::vector<uint8_t> ReadMemory(TZ80Object* object, uint32_t address, int count);

// The instruction at address (taken modulo 65536). The bytes read grow by
// doubling while the instruction is longer than what was read, so a long run
// of prefixes is still seen whole.
DasmCodeLine DisassembleLine(TZ80Object* object, uint32_t address);

// The instruction's own text without the T-state column, as the line
// assembler offers it for editing.
std::string DisassembleText(TZ80Object* object, uint32_t address);

}  // namespace z80dbg
