// The instruction set as the debugger sees it: one description per opcode
// page, from which both the disassembler's text templates and the T-state
// tables are built at compile time, so the two views cannot drift apart.
//
// Template text: an optional leading '*' marks an undocumented instruction;
// the mnemonic (with its '*') is padded to 7 columns when operands follow.
// Placeholders, filled by the disassembler:
//   $R  index register (IX/IY)      $RH, $RL  its halves (XH/XL, YH/YL)
//   $PLUS signed displacement        $S  bit number from the opcode
//   $W  16-bit operand               $N  8-bit operand
//   $T  restart address              $DIS relative jump target
//
// Flow: what an instruction does to the program counter beyond moving on,
// for step-over (run over a call, single-step anything that goes elsewhere).
//
// T-state entries: below 240 the instruction's count without its prefix
// bytes; 241..244 a prefix that continues in page 1..4 (244 also skips the
// displacement); 255 a conditional count resolved from the live registers.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string_view>

#include "z80/z80_core.h"

namespace z80dbg {

enum TZ80Page : uint8_t { kPageMain = 0, kPageCB, kPageED, kPageIndex, kPageIndexCB, kPageCount };

inline constexpr uint8_t kTactPrefixCB = 241;
inline constexpr uint8_t kTactPrefixED = 242;
inline constexpr uint8_t kTactPrefixIndex = 243;
inline constexpr uint8_t kTactPrefixIndexCB = 244;
inline constexpr uint8_t kTactConditional = 255;

// What a conditional count depends on.
enum class TZ80Condition : uint8_t {
  None,
  Flag,           // cc of the opcode (bits 5-3): NZ Z NC C PO PE P M
  JrFlag,         // JR cc: cc = (opcode >> 3) - 4, one of NZ Z NC C
  Djnz,           // taken unless B = 1
  RepeatBC,       // LDIR, LDDR: repeats unless BC = 1
  RepeatCompare,  // CPIR, CPDR: repeats unless BC = 1 or A = (HL)
  RepeatB,        // INIR, INDR, OTIR, OTDR: repeats unless B = 1
};

// Where an instruction sends the program counter.
enum class TZ80Flow : uint8_t {
  Next,    // to the following instruction
  Call,    // CALL, RST: comes back to the following instruction
  Jump,    // JP, JR, DJNZ (taken or not)
  Return,  // RET, RETI, RETN
  Halt,    // HALT: stays until an interrupt
};

struct TZ80Template {
  char Text[24] = {};
  constexpr std::string_view View() const { return std::string_view(Text); }
  constexpr bool Empty() const { return Text[0] == 0; }
};

struct TZ80OpInfo {
  TZ80Template Template;
  uint8_t Tacts = 0;       // table entry as described above
  uint8_t TactsTrue = 0;   // conditional: condition holds / block repeats
  uint8_t TactsFalse = 0;  // conditional: condition fails / last repetition
  TZ80Condition Condition = TZ80Condition::None;
  TZ80Flow Flow = TZ80Flow::Next;
};

namespace detail {

constexpr TZ80Template MakeTemplate(bool undocumented, std::string_view mnemonic,
                                    std::initializer_list<std::string_view> operands = {}) {
  TZ80Template t{};
  std::size_t n = 0;
  auto put = [&](char c) {
    if (n + 1 >= sizeof(t.Text)) throw "template too long";  // compile-time error
    t.Text[n++] = c;
  };
  if (undocumented) put('*');
  for (char c : mnemonic) put(c);
  bool any = false;
  for (std::string_view o : operands) any = any || !o.empty();
  if (any) {
    do put(' ');
    while (n < 7);
    for (std::string_view o : operands)
      for (char c : o) put(c);
  }
  return t;
}

constexpr TZ80OpInfo Op(uint8_t tacts, bool undocumented, std::string_view mnemonic,
                        std::initializer_list<std::string_view> operands = {}) {
  return TZ80OpInfo{MakeTemplate(undocumented, mnemonic, operands), tacts, 0, 0,
                    TZ80Condition::None, TZ80Flow::Next};
}

constexpr TZ80OpInfo Flow(TZ80OpInfo info, TZ80Flow flow) {
  info.Flow = flow;
  return info;
}

constexpr TZ80OpInfo Conditional(uint8_t whenTrue, uint8_t whenFalse, TZ80Condition condition,
                                 std::string_view mnemonic,
                                 std::initializer_list<std::string_view> operands = {}) {
  return TZ80OpInfo{MakeTemplate(false, mnemonic, operands), kTactConditional, whenTrue,
                    whenFalse, condition, TZ80Flow::Next};
}

inline constexpr std::string_view kReg[8] = {"B", "C", "D", "E", "H", "L", "(HL)", "A"};
inline constexpr std::string_view kPair[4] = {"BC", "DE", "HL", "SP"};
inline constexpr std::string_view kPairAF[4] = {"BC", "DE", "HL", "AF"};
inline constexpr std::string_view kCond[8] = {"NZ", "Z", "NC", "C", "PO", "PE", "P", "M"};
inline constexpr std::string_view kAlu[8] = {"ADD", "ADC", "SUB", "SBC", "AND", "XOR", "OR", "CP"};
inline constexpr std::string_view kAluA[8] = {"A,", "A,", "", "A,", "", "", "", ""};
inline constexpr std::string_view kRot[8] = {"RLC", "RRC", "RL", "RR", "SLA", "SRA", "SLL", "SRL"};
inline constexpr std::string_view kBlock[4][4] = {{"LDI", "CPI", "INI", "OUTI"},
                                                  {"LDD", "CPD", "IND", "OUTD"},
                                                  {"LDIR", "CPIR", "INIR", "OTIR"},
                                                  {"LDDR", "CPDR", "INDR", "OTDR"}};
inline constexpr TZ80Condition kBlockRepeat[4] = {
    TZ80Condition::RepeatBC, TZ80Condition::RepeatCompare, TZ80Condition::RepeatB,
    TZ80Condition::RepeatB};

// Names of the operands the index prefixes replace. With index set, HL
// becomes $R, H and L its halves and (HL) the displaced memory operand; the
// flags record whether the instruction used any of them (the prefix changes
// nothing else) and whether it used a half (undocumented).
struct IndexNames {
  bool index = false;
  bool uses = false;
  bool half = false;

  // Register r of the opcode's 3-bit field. In an instruction that also has a
  // memory operand, H and L stay the real H and L.
  constexpr std::string_view Reg(int r, bool otherIsMemory = false) {
    if (!index) return kReg[r];
    if (r == 6) {
      uses = true;
      return "($R$PLUS)";
    }
    if ((r == 4 || r == 5) && !otherIsMemory) {
      uses = half = true;
      return r == 4 ? "$RH" : "$RL";
    }
    return kReg[r];
  }
  constexpr std::string_view Pair(int p, bool af = false) {
    if (index && p == 2) {
      uses = true;
      return "$R";
    }
    return af ? kPairAF[p] : kPair[p];
  }
};

// The unprefixed page; with index set, the page after DD/FD (IX/IY forms
// with the prefix's own 4 T-states left out). An index slot whose
// instruction does not involve HL, H, L or (HL) gets an empty template (the
// disassembler falls back to the unprefixed text) and the unprefixed count.
constexpr TZ80OpInfo MainOp(int op, bool index) {
  const int x = op >> 6, y = (op >> 3) & 7, z = op & 7, p = y >> 1, q = y & 1;
  IndexNames n{index};
  TZ80OpInfo info{};
  // Memory through (HL) costs 7 where a register costs 4; through (IX+d)
  // the prefixed form reads a displacement too.
  auto memTacts = [&](int r, uint8_t reg, uint8_t hl, uint8_t ix) -> uint8_t {
    return r != 6 ? reg : (index ? ix : hl);
  };
  switch (x) {
    case 0:
      switch (z) {
        case 0:
          if (y == 0) info = Op(4, false, "NOP");
          else if (y == 1) info = Op(4, false, "EX", {"AF,AF'"});
          else if (y == 2)
            info = Flow(Conditional(13, 8, TZ80Condition::Djnz, "DJNZ", {"$DIS"}), TZ80Flow::Jump);
          else if (y == 3) info = Flow(Op(12, false, "JR", {"$DIS"}), TZ80Flow::Jump);
          else
            info = Flow(Conditional(12, 7, TZ80Condition::JrFlag, "JR", {kCond[y - 4], ",$DIS"}),
                        TZ80Flow::Jump);
          break;
        case 1:
          if (q == 0) info = Op(10, false, "LD", {n.Pair(p), ",$W"});
          else {
            std::string_view dst = n.Pair(2);
            info = Op(11, false, "ADD", {dst, ",", n.Pair(p)});
          }
          break;
        case 2: {
          if (p == 2) {
            std::string_view hl = n.Pair(2);
            info = q == 0 ? Op(16, false, "LD", {"($W),", hl}) : Op(16, false, "LD", {hl, ",($W)"});
          } else if (p == 3) {
            info = q == 0 ? Op(13, false, "LD", {"($W),A"}) : Op(13, false, "LD", {"A,($W)"});
          } else {
            std::string_view m = p == 0 ? "(BC)" : "(DE)";
            info = q == 0 ? Op(7, false, "LD", {m, ",A"}) : Op(7, false, "LD", {"A,", m});
          }
          break;
        }
        case 3:
          info = Op(6, false, q == 0 ? "INC" : "DEC", {n.Pair(p)});
          break;
        case 4:
        case 5: {
          std::string_view r = n.Reg(y);
          info = Op(memTacts(y, 4, 11, 19), n.half, z == 4 ? "INC" : "DEC", {r});
          break;
        }
        case 6: {
          std::string_view r = n.Reg(y);
          // LD IXH,n and LD IXL,n take 7 after the prefix, as LD H,n does.
          info = Op(memTacts(y, 7, 10, 15), n.half, "LD", {r, ",$N"});
          break;
        }
        case 7: {
          constexpr std::string_view names[8] = {"RLCA", "RRCA", "RLA", "RRA",
                                                 "DAA",  "CPL",  "SCF", "CCF"};
          info = Op(4, false, names[y]);
          break;
        }
      }
      break;
    case 1:
      if (y == 6 && z == 6) {
        info = Flow(Op(4, false, "HALT"), TZ80Flow::Halt);
      } else {
        std::string_view dst = n.Reg(y, z == 6);
        std::string_view src = n.Reg(z, y == 6);
        info = Op(memTacts(y == 6 ? 6 : z, 4, 7, 15), n.half, "LD", {dst, ",", src});
      }
      break;
    case 2: {
      std::string_view r = n.Reg(z);
      info = Op(memTacts(z, 4, 7, 15), n.half, kAlu[y], {kAluA[y], r});
      break;
    }
    case 3:
      switch (z) {
        case 0:
          info = Flow(Conditional(11, 5, TZ80Condition::Flag, "RET", {kCond[y]}), TZ80Flow::Return);
          break;
        case 1:
          if (q == 0) info = Op(10, false, "POP", {n.Pair(p, true)});
          else if (p == 0) info = Flow(Op(10, false, "RET"), TZ80Flow::Return);
          else if (p == 1) info = Op(4, false, "EXX");
          else if (p == 2) {
            std::string_view r = n.Pair(2);
            info = Flow(Op(4, false, "JP", {"(", r, ")"}), TZ80Flow::Jump);
          } else {
            std::string_view r = n.Pair(2);
            info = Op(6, false, "LD", {"SP,", r});
          }
          break;
        case 2:
          info = Flow(Op(10, false, "JP", {kCond[y], ",$W"}), TZ80Flow::Jump);
          break;
        case 3:
          if (y == 0) info = Flow(Op(10, false, "JP", {"$W"}), TZ80Flow::Jump);
          else if (y == 1) info = Op(kTactPrefixCB, true, "CB");
          else if (y == 2) info = Op(11, false, "OUT", {"($N),A"});
          else if (y == 3) info = Op(11, false, "IN", {"A,($N)"});
          else if (y == 4) {
            std::string_view r = n.Pair(2);
            info = Op(19, false, "EX", {"(SP),", r});
          } else if (y == 5) info = Op(4, false, "EX", {"DE,HL"});
          else if (y == 6) info = Op(4, false, "DI");
          else info = Op(4, false, "EI");
          break;
        case 4:
          info = Flow(Conditional(17, 10, TZ80Condition::Flag, "CALL", {kCond[y], ",$W"}),
                    TZ80Flow::Call);
          break;
        case 5:
          if (q == 0) info = Op(11, false, "PUSH", {n.Pair(p, true)});
          else if (p == 0) info = Flow(Op(17, false, "CALL", {"$W"}), TZ80Flow::Call);
          else if (p == 1) info = Op(kTactPrefixIndex, true, "IX");
          else if (p == 2) info = Op(kTactPrefixED, true, "ED");
          else info = Op(kTactPrefixIndex, true, "IY");
          break;
        case 6:
          info = Op(7, false, kAlu[y], {kAluA[y], "$N"});
          break;
        case 7:
          info = Flow(Op(11, false, "RST", {"$T"}), TZ80Flow::Call);
          break;
      }
      break;
  }
  if (index) {
    // The slots that continue a prefix chain; never shown.
    switch (op) {
      case 0xCB: return Op(kTactPrefixIndexCB, true, "DD/FD,CB");
      case 0xDD: return Op(kTactPrefixIndex, true, "DD/FD,DD");
      case 0xED: return Op(kTactPrefixED, true, "DD/FD,ED");
      case 0xFD: return Op(kTactPrefixIndex, true, "DD/FD,FD");
    }
    if (!n.uses) info.Template = TZ80Template{};
  }
  return info;
}

constexpr TZ80OpInfo CBOp(int op) {
  const int x = op >> 6, y = (op >> 3) & 7, z = op & 7;
  if (x == 0) return Op(z == 6 ? 11 : 4, y == 6, kRot[y], {kReg[z]});
  if (x == 1) return Op(z == 6 ? 8 : 4, false, "BIT", {"$S,", kReg[z]});
  return Op(z == 6 ? 11 : 4, false, x == 2 ? "RES" : "SET", {"$S,", kReg[z]});
}

constexpr TZ80OpInfo IndexCBOp(int op) {
  const int x = op >> 6, y = (op >> 3) & 7, z = op & 7;
  // The operand is always the memory byte; a register field other than 6
  // names a register that also receives the result (undocumented).
  if (x == 0) {
    if (z == 6) return Op(15, y == 6, kRot[y], {"($R$PLUS)"});
    return Op(15, true, kRot[y], {kReg[z], ",($R$PLUS)"});
  }
  if (x == 1) return Op(12, z != 6, "BIT", {"$S,($R$PLUS)"});
  std::string_view name = x == 2 ? "RES" : "SET";
  if (z == 6) return Op(15, false, name, {"$S,($R$PLUS)"});
  return Op(15, true, name, {"$S,", kReg[z], ",($R$PLUS)"});
}

constexpr TZ80OpInfo EDOp(int op) {
  const int x = op >> 6, y = (op >> 3) & 7, z = op & 7, p = y >> 1, q = y & 1;
  if (x == 1) {
    switch (z) {
      case 0:
        return y == 6 ? Op(8, true, "IN", {"(C)"}) : Op(8, false, "IN", {kReg[y], ",(C)"});
      case 1:
        return y == 6 ? Op(8, true, "OUT", {"(C),0"}) : Op(8, false, "OUT", {"(C),", kReg[y]});
      case 2:
        return Op(11, false, q == 0 ? "SBC" : "ADC", {"HL,", kPair[p]});
      case 3:
        return q == 0 ? Op(16, false, "LD", {"($W),", kPair[p]})
                      : Op(16, false, "LD", {kPair[p], ",($W)"});
      case 4:
        return Op(4, y != 0, "NEG");
      case 5:
        return Flow(y == 1 ? Op(10, false, "RETI") : Op(10, y != 0, "RETN"), TZ80Flow::Return);
      case 6: {
        constexpr std::string_view modes[8] = {"0", "0", "1", "2", "0", "0", "1", "2"};
        return Op(4, y != 0 && y != 2 && y != 3, "IM", {modes[y]});
      }
      case 7: {
        constexpr std::string_view names[8] = {"LD", "LD", "LD", "LD", "RRD", "RLD", "NOP", "NOP"};
        constexpr std::string_view operands[8] = {"I,A", "R,A", "A,I", "A,R", "", "", "", ""};
        return Op(y < 4 ? 5 : y < 6 ? 14 : 4, y >= 6, names[y], {operands[y]});
      }
    }
  }
  if (x == 2 && z <= 3 && y >= 4) {
    if (y < 6) return Op(12, false, kBlock[y - 4][z]);
    return Conditional(17, 12, kBlockRepeat[z], kBlock[y - 4][z]);
  }
  // Unassigned: a two-byte no-operation.
  TZ80OpInfo info{};
  info.Tacts = 4;
  return info;
}

constexpr TZ80OpInfo PageOp(int page, int op) {
  switch (page) {
    case kPageMain: return MainOp(op, false);
    case kPageCB: return CBOp(op);
    case kPageED: return EDOp(op);
    case kPageIndex: return MainOp(op, true);
    default: return IndexCBOp(op);
  }
}

constexpr std::array<std::array<TZ80OpInfo, 256>, kPageCount> BuildOps() {
  std::array<std::array<TZ80OpInfo, 256>, kPageCount> ops{};
  for (int page = 0; page < kPageCount; ++page)
    for (int op = 0; op < 256; ++op) ops[page][op] = PageOp(page, op);
  return ops;
}

}  // namespace detail

// The five pages: main, CB, ED, DD/FD (one page for both index registers)
// and DD/FD CB, each indexed by its opcode byte.
inline constexpr std::array<std::array<TZ80OpInfo, 256>, kPageCount> Z80Ops = detail::BuildOps();

// The two views the disassembler and the T-state counter read: per page and
// opcode, the template text (empty for an empty slot) and the count.
inline constexpr auto Z80DasmTables = [] {
  std::array<std::array<const char*, 256>, kPageCount> tables{};
  for (int page = 0; page < kPageCount; ++page)
    for (int op = 0; op < 256; ++op) tables[page][op] = Z80Ops[page][op].Template.Text;
  return tables;
}();

inline constexpr auto Z80TactTables = [] {
  std::array<std::array<uint32_t, 256>, kPageCount> tables{};
  for (int page = 0; page < kPageCount; ++page)
    for (int op = 0; op < 256; ++op) tables[page][op] = Z80Ops[page][op].Tacts;
  return tables;
}();

// The description of the instruction whose bytes start at bytes[0], found by
// the disassembler's walk: the last of a run of DD/FD prefixes counts, and a
// DD/FD slot without an index form still carries the flow of the unprefixed
// instruction it runs as. Null when the bytes end first or the prefix run
// reaches the core's bound (the step ends there).
constexpr const TZ80OpInfo* Z80FindOp(const uint8_t* bytes, std::size_t size) {
  if (bytes == nullptr || size == 0) return nullptr;
  const uint8_t first = bytes[0];
  if (first == 0xCB || first == 0xED)
    return size < 2 ? nullptr : &Z80Ops[first == 0xCB ? kPageCB : kPageED][bytes[1]];
  if (first != 0xDD && first != 0xFD) return &Z80Ops[kPageMain][first];
  for (std::size_t k = 0;; ++k) {
    if (k + 1 == static_cast<std::size_t>(z80::kMaxPrefixRun) || k + 1 >= size) return nullptr;
    const uint8_t next = bytes[k + 1];
    if (next == 0xDD || next == 0xFD) continue;
    if (next == 0xCB) return k + 3 < size ? &Z80Ops[kPageIndexCB][bytes[k + 3]] : nullptr;
    if (next == 0xED) return k + 2 < size ? &Z80Ops[kPageED][bytes[k + 2]] : nullptr;
    return &Z80Ops[kPageIndex][next];
  }
}

// Text shown for an unassigned ED code.
inline constexpr std::string_view kUnassignedED = "*NOP";

// The core ends a step after this many DD/FD prefixes in a row; the rest of
// the run starts the next step.
inline constexpr int kMaxPrefixRun = z80::kMaxPrefixRun;

}  // namespace z80dbg
