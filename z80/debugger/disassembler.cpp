// Text and length of one Z80 instruction, from the template pages of
// dasm_tables.h.
#include "z80/debugger/disassembler.h"

#include <cstdio>
#include <string_view>

#include "z80/debugger/dasm_tables.h"

namespace {

using namespace z80dbg;

void AppendFormatted(std::string& out, const char* format, int value) {
  char buffer[16];
  std::snprintf(buffer, sizeof(buffer), format, value);
  out += buffer;
}

// A hexadecimal number in the given width ("#%02X"), or plain decimal.
void AppendNumber(std::string& out, const char* hexFormat, int value, bool hex) {
  AppendFormatted(out, hex ? hexFormat : "%i", value);
}

// Bytes that do not make a whole instruction because the buffer ends first:
// shown as data, all of them consumed, so a caller walking the buffer
// always moves on.
std::string Incomplete(const uint8_t* bytes, size_t size, bool hex, int& length) {
  std::string text = "DB";
  for (size_t i = 0; i < size; ++i) {
    text += i == 0 ? "     " : ",";
    AppendNumber(text, "#%02X", bytes[i], hex);
  }
  length = static_cast<int>(size);
  return text;
}

bool StartsWith(std::string_view text, size_t at, std::string_view word) {
  return text.substr(at, word.size()) == word;
}

}  // namespace

std::string Z80Disassemble(const uint8_t* bytes, size_t size, uint16_t address, bool hex,
                           int& length) {
  length = 0;
  if (bytes == nullptr || size == 0) return {};  // nothing to read, nothing consumed

  std::string_view tpl;
  size_t opcode = 0;    // position of the byte that selected the template
  size_t operands = 1;  // position of the first operand byte
  char index = 'X';     // index register of the last DD/FD prefix
  std::string text;

  const uint8_t first = bytes[0];
  if (first == 0xCB || first == 0xED) {
    if (size < 2) return Incomplete(bytes, size, hex, length);
    opcode = 1;
    operands = 2;
    tpl = Z80DasmTables[first == 0xCB ? kPageCB : kPageED][bytes[1]];
    if (tpl.empty()) tpl = kUnassignedED;
  } else if (first == 0xDD || first == 0xFD) {
    // Walk the run of prefixes; the last one names the index register.
    size_t k = 0;
    for (;;) {
      index = bytes[k] == 0xDD ? 'X' : 'Y';
      if (k + 1 == static_cast<size_t>(kMaxPrefixRun)) {
        // The core ends its step after this many prefixes, whatever follows,
        // and carries the last one over into the next step; the run is shown
        // as a line of its own, like the prefix slot of the main page.
        length = kMaxPrefixRun;
        return index == 'X' ? "*IX" : "*IY";
      }
      if (k + 1 >= size) return Incomplete(bytes, size, hex, length);
      const uint8_t next = bytes[k + 1];
      if (next != 0xDD && next != 0xFD) break;
      ++k;
    }
    const uint8_t next = bytes[k + 1];
    if (next == 0xCB) {
      // DD CB d op: the displacement comes before the operation byte.
      if (k + 3 >= size) return Incomplete(bytes, size, hex, length);
      opcode = k + 3;
      operands = k + 2;
      tpl = Z80DasmTables[kPageIndexCB][bytes[opcode]];
    } else if (next == 0xED) {
      // The index prefix has no effect on an ED instruction: mark it.
      if (k + 2 >= size) return Incomplete(bytes, size, hex, length);
      opcode = k + 2;
      operands = k + 3;
      tpl = Z80DasmTables[kPageED][bytes[opcode]];
      if (tpl.empty()) tpl = kUnassignedED;
      if (tpl.front() != '*') text += '*';
    } else {
      opcode = k + 1;
      operands = k + 2;
      tpl = Z80DasmTables[kPageIndex][next];
      if (tpl.empty()) {
        // The prefix changes nothing: the unprefixed instruction, marked.
        tpl = Z80DasmTables[kPageMain][next];
        text += '*';
      }
    }
  } else {
    tpl = Z80DasmTables[kPageMain][first];
  }

  // Placeholders take their operand bytes in the order they appear, which is
  // the order of the bytes in every template (displacement before n).
  size_t cursor = operands;
  auto take = [&](size_t count) {
    if (cursor + count > size) return false;
    cursor += count;
    return true;
  };
  for (size_t i = 0; i < tpl.size();) {
    if (tpl[i] != '$') {
      text += tpl[i++];
      continue;
    }
    if (StartsWith(tpl, i, "$RH") || StartsWith(tpl, i, "$RL")) {
      text += index;
      text += tpl[i + 2];
      i += 3;
    } else if (StartsWith(tpl, i, "$R")) {
      text += 'I';
      text += index;
      i += 2;
    } else if (StartsWith(tpl, i, "$PLUS")) {
      if (!take(1)) return Incomplete(bytes, size, hex, length);
      const int d = static_cast<int8_t>(bytes[cursor - 1]);
      text += d < 0 ? '-' : '+';
      AppendNumber(text, "#%02X", d < 0 ? -d : d, hex);
      i += 5;
    } else if (StartsWith(tpl, i, "$S")) {
      AppendFormatted(text, "%i", (bytes[opcode] >> 3) & 7);
      i += 2;
    } else if (StartsWith(tpl, i, "$W")) {
      if (!take(2)) return Incomplete(bytes, size, hex, length);
      AppendNumber(text, "#%04X", bytes[cursor - 2] | (bytes[cursor - 1] << 8), hex);
      i += 2;
    } else if (StartsWith(tpl, i, "$N")) {
      if (!take(1)) return Incomplete(bytes, size, hex, length);
      AppendNumber(text, "#%02X", bytes[cursor - 1], hex);
      i += 2;
    } else if (StartsWith(tpl, i, "$T")) {
      AppendNumber(text, "#%02X", bytes[opcode] & 0x38, hex);
      i += 2;
    } else if (StartsWith(tpl, i, "$DIS")) {
      if (!take(1)) return Incomplete(bytes, size, hex, length);
      // Relative to the address after the displacement byte.
      const int offset = static_cast<int8_t>(bytes[cursor - 1]);
      const int target = (address + static_cast<int>(cursor) + offset) & 0xFFFF;
      AppendNumber(text, "#%04X", target, hex);
      i += 4;
    } else {
      text += tpl[i++];
    }
  }
  length = static_cast<int>(cursor > opcode + 1 ? cursor : opcode + 1);
  return text;
}
