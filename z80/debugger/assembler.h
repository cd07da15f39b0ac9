// The debugger's line assembler: one line of Z80 assembler text into the
// instruction's bytes.
#pragma once

#include <cstdint>

// Longest line accepted, and room for the normalised line (terminator
// included); longer lines are refused rather than cut.
inline constexpr int kAsmMaxLine = 1024;
inline constexpr int kAsmTextSize = 64;

// The assembler's work area. There is one: the assembler runs on the GUI
// thread only and is not re-entrant.
struct TAsmBuffer {
  uint8_t Opcode[16];        // the matched instruction after its prefix, operands included
  uint8_t Output[16];        // the result: the prefix byte (if any), then Opcode
  uint8_t Prefix;            // 0, 0xDD or 0xFD: the prefix of the current attempt
  char Text[kAsmTextSize];   // the line as the matcher sees it
};

extern TAsmBuffer AsmBuffer;

// Assembles text as the instruction at address (relative jumps count from
// it). Returns the number of bytes, which are in AsmBuffer.Output, or 0
// when the line is no instruction the assembler knows.
int Z80Assemble(const char* text, int address);
