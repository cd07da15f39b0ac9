// T-states of the instruction at an address, as the core would count them
// if it executed the instruction now.
#include "z80/debugger/instruction_tacts.h"

#include "z80/debugger/dasm_tables.h"
#include "z80/z80.h"

namespace {

using namespace z80dbg;

// Flag bits of F that decide the eight conditions NZ Z NC C PO PE P M.
constexpr uint8_t kConditionFlag[4] = {0x40, 0x01, 0x04, 0x80};  // Z, C, P/V, S

bool ConditionHolds(uint8_t f, int cc) {
  const bool set = (f & kConditionFlag[cc >> 1]) != 0;
  return (cc & 1) ? set : !set;
}

bool Holds(const TZ80OpInfo& info, uint8_t opcode, const TZ80State& state) {
  const uint8_t f = state.AF & 0xFF;
  const uint8_t a = state.AF >> 8;
  const uint8_t b = state.BC >> 8;
  switch (info.Condition) {
    case TZ80Condition::Flag: return ConditionHolds(f, (opcode >> 3) & 7);
    case TZ80Condition::JrFlag: return ConditionHolds(f, ((opcode >> 3) & 7) - 4);
    case TZ80Condition::Djnz: return b != 1;
    case TZ80Condition::RepeatBC: return state.BC != 1;
    case TZ80Condition::RepeatCompare:
      return state.BC != 1 && a != state.OnRead(state.HL, state.UserData);
    case TZ80Condition::RepeatB: return b != 1;
    case TZ80Condition::None: break;
  }
  return false;
}

}  // namespace

int Z80InstructionTacts(TZ80Object* object, uint16_t address) {
  if (object == nullptr || object->StateRecord == nullptr) return 0;
  const TZ80State& state = *object->StateRecord;
  if (state.OnRead == nullptr) return 0;

  // A step that ended inside an over-long prefix run left its prefix in
  // force for the instruction at PC.
  int page = address == state.PC && state.Req.PrefixRun ? kPageIndex : kPageMain;
  uint32_t offset = 0;
  int total = 0;
  int prefixRun = 0;
  for (;;) {
    const uint8_t opcode = state.OnRead((address + offset) & 0xFFFF, state.UserData);
    const uint32_t v = Z80TactTables[page][opcode];
    if (v < 240) return total + static_cast<int>(v);
    if (v == kTactConditional) {
      const TZ80OpInfo& info = Z80Ops[page][opcode];
      return total + (Holds(info, opcode, state) ? info.TactsTrue : info.TactsFalse);
    }
    total += 4;
    // The core ends the step after this many DD/FD prefixes in a row.
    if (v == kTactPrefixIndex && ++prefixRun == kMaxPrefixRun) return total;
    offset += v == kTactPrefixIndexCB ? 2 : 1;
    page = static_cast<int>(v) - 240;
  }
}
