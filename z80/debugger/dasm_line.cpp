#include "z80/debugger/dasm_line.h"

#include "z80/debugger/disassembler.h"
#include "z80/debugger/instruction_tacts.h"
#include "z80/z80.h"

namespace z80dbg {

namespace {

// Enough for 65,536 prefixes and the instruction after them.
constexpr int kMaxRead = 65600;

std::string Disassemble(TZ80Object* object, uint16_t address, int& length) {
  std::string text;
  for (int count = 16;; count *= 2) {
    if (count > kMaxRead) count = kMaxRead;
    const std::vector<uint8_t> bytes = ReadMemory(object, address, count);
    text = Z80Disassemble(bytes.data(), bytes.size(), address, true, length);
    if (length < count || count == kMaxRead) break;
  }
  if (length < 1) length = 1;
  return text;
}

}  // namespace

std::vector<uint8_t> ReadMemory(TZ80Object* object, uint32_t address, int count) {
  std::vector<uint8_t> bytes(count > 0 ? count : 0);
  const TZ80State* state = object ? object->StateRecord : nullptr;
  if (state == nullptr || state->OnRead == nullptr) return bytes;
  for (int i = 0; i < count; ++i) bytes[i] = state->OnRead((address + i) & 0xFFFF, state->UserData);
  return bytes;
}

DasmCodeLine DisassembleLine(TZ80Object* object, uint32_t address) {
  const uint16_t at = address & 0xFFFF;
  DasmCodeLine line;
  line.Text = Disassemble(object, at, line.Length);
  if (line.Text.size() < 20) line.Text.resize(20, ' ');
  line.Text += "; " + std::to_string(Z80InstructionTacts(object, at)) + " T";
  return line;
}

std::string DisassembleText(TZ80Object* object, uint32_t address) {
  int length = 0;
  return Disassemble(object, address & 0xFFFF, length);
}

}  // namespace z80dbg
