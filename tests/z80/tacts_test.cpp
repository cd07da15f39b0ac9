// The T-state counter on a hand-made processor state: worked counts,
// address wrap and the bounded prefix run. Every opcode with each condition
// both ways is checked against the core in disasm_core_test.cpp.
#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <vector>

#include "z80/debugger/dasm_tables.h"
#include "z80/debugger/instruction_tacts.h"
#include "z80/z80.h"

namespace {

struct Machine {
  std::array<uint8_t, 65536> memory{};
  TZ80State state{};
  TZ80Object object;
  int reads = 0;

  Machine() {
    state.UserData = this;
    state.OnRead = [](uint32_t address, void* user) -> uint8_t {
      auto* m = static_cast<Machine*>(user);
      ++m->reads;
      EXPECT_LT(address, 65536u);
      return m->memory[address & 0xFFFF];
    };
    object.StateRecord = &state;
    object.State = &state;
  }
  void Put(uint16_t address, std::initializer_list<uint8_t> bytes) {
    for (uint8_t b : bytes) memory[address++] = b;
  }
};

enum : uint8_t { S = 0x80, Z = 0x40, PV = 0x04, C = 0x01 };

struct Case {
  const char* name;
  uint16_t address;
  std::vector<uint8_t> bytes;
  uint8_t f;
  uint16_t bc;
  uint8_t a;
  uint8_t atHL;  // the byte at HL (HL = 0x9000)
  int tacts;
};

TEST(InstructionTacts, CountsInTheCurrentState) {
  const Case cases[] = {
      {"NOP", 0x8000, {0x00}, 0, 0, 0, 0, 4},
      {"LD A,(IX+5)", 0x8000, {0xDD, 0x7E, 0x05}, 0, 0, 0, 0, 19},
      {"SET 3,(IY-1)", 0x8000, {0xFD, 0xCB, 0xFF, 0xDE}, 0, 0, 0, 0, 23},
      {"IN A,(C)", 0x8000, {0xED, 0x78}, 0, 0, 0, 0, 12},
      {"ED 00", 0x8000, {0xED, 0x00}, 0, 0, 0, 0, 8},
      {"DD ED B0 LDIR, last", 0x8000, {0xDD, 0xED, 0xB0}, 0, 1, 0, 0, 20},
      {"DD DD 21 nn nn", 0x8000, {0xDD, 0xDD, 0x21, 0x34, 0x12}, 0, 0, 0, 0, 18},
      {"LD IXH,n", 0x8000, {0xDD, 0x26, 0x12}, 0, 0, 0, 0, 11},
      {"JR NZ, Z set", 0x8000, {0x20, 0x00}, Z, 0, 0, 0, 7},
      {"JR NZ, Z clear", 0x8000, {0x20, 0x00}, 0, 0, 0, 0, 12},
      {"CALL M, S set", 0x8000, {0xFC, 0, 0}, S, 0, 0, 0, 17},
      {"RET PO, P/V clear", 0x8000, {0xE0}, 0, 0, 0, 0, 11},
      {"RET PE, P/V clear", 0x8000, {0xE8}, 0, 0, 0, 0, 5},
      {"DJNZ, B = 1", 0x8000, {0x10, 0xFE}, 0, 0x0100, 0, 0, 8},
      {"DJNZ, B = 0", 0x8000, {0x10, 0xFE}, 0, 0x0000, 0, 0, 13},
      {"OTIR, B = 2", 0x8000, {0xED, 0xB3}, 0, 0x0200, 0, 0, 21},
      {"OTIR, B = 1", 0x8000, {0xED, 0xB3}, 0, 0x0100, 0, 0, 16},
      {"LDIR, BC = 0", 0x8000, {0xED, 0xB0}, 0, 0x0000, 0, 0, 21},
      {"CPIR, A = (HL)", 0x8000, {0xED, 0xB1}, 0, 0x0005, 0x42, 0x42, 16},
      {"CPDR, A <> (HL)", 0x8000, {0xED, 0xB9}, 0, 0x0005, 0x42, 0x43, 21},
      {"CB 06 at #FFFF", 0xFFFF, {0xCB, 0x06}, 0, 0, 0, 0, 15},
      {"LD (IX+d) at #FFFE", 0xFFFE, {0xDD, 0x77, 0x01}, 0, 0, 0, 0, 19},
  };
  for (const Case& c : cases) {
    Machine m;
    uint16_t at = c.address;
    for (uint8_t b : c.bytes) m.memory[at++] = b;
    m.state.AF = static_cast<uint16_t>(c.a << 8 | c.f);
    m.state.BC = c.bc;
    m.state.HL = 0x9000;
    m.memory[0x9000] = c.atHL;
    const auto before = m.memory;
    EXPECT_EQ(Z80InstructionTacts(&m.object, c.address), c.tacts) << c.name;
    EXPECT_TRUE(m.memory == before) << c.name;
  }
}

TEST(InstructionTacts, PrefixRunEndsWhereTheCoreEndsIt) {
  const int run = z80dbg::kMaxPrefixRun;
  Machine m;
  m.memory.fill(0xFD);  // nothing but prefixes, wrapping round
  EXPECT_EQ(Z80InstructionTacts(&m.object, 0x1234), 4 * run);
  EXPECT_LE(m.reads, run + 1);

  // A step that stopped inside the run leaves the prefix in force at PC.
  m.memory.fill(0);
  m.Put(0x4000, {0x21, 0x34, 0x12});
  m.state.PC = 0x4000;
  m.state.Req.PrefixRun = 0xDD;
  EXPECT_EQ(Z80InstructionTacts(&m.object, 0x4000), 10);
  m.Put(0x4000, {0x7E, 0x01});
  EXPECT_EQ(Z80InstructionTacts(&m.object, 0x4000), 15);  // LD A,(IX+1)
  m.state.PC = 0x5000;
  EXPECT_EQ(Z80InstructionTacts(&m.object, 0x4000), 7);  // away from PC: LD A,(HL)
}

TEST(InstructionTacts, NoStateCountsNothing) {
  TZ80Object empty;
  EXPECT_EQ(Z80InstructionTacts(nullptr, 0), 0);
  EXPECT_EQ(Z80InstructionTacts(&empty, 0), 0);
}

}  // namespace
