// The debugger's views of the instruction set checked against the core
// itself: the disassembler's length against the PC advance of one step, and
// the T-state counter against the step's Ticks, for every opcode of every
// page.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "z80/debugger/dasm_tables.h"
#include "z80/debugger/disassembler.h"
#include "z80/debugger/instruction_tacts.h"
#include "z80/z80.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint16_t kStart = 0x8000;
constexpr uint16_t kHL = 0x9000;
constexpr uint8_t kAtHL = 0x42;

// A processor on flat memory, with ports that read #FF.
class Machine {
 public:
  Machine() {
    EXPECT_EQ(Z80_Create("dasm", &Machine::Read, &Machine::Read, &Machine::Write, &Machine::PortIn,
                         &Machine::PortOut, &Machine::IntCheck, nullptr, nullptr, this, &object_),
              Z80_OK);
  }
  ~Machine() { Z80_Destroy(&object_); }

  // Memory of zeros with the instruction at kStart, registers set.
  void Load(const Bytes& bytes, uint8_t f, uint16_t bc, uint8_t a) {
    memory_.fill(0);
    std::copy(bytes.begin(), bytes.end(), memory_.begin() + kStart);
    memory_[kHL] = kAtHL;
    TZ80State& s = State();
    s.PC = kStart;
    s.SP = 0xC000;
    s.AF = static_cast<uint16_t>(a << 8 | f);
    s.BC = bc;
    s.HL = kHL;
    s.DE = 0xA000;
    s.IX = s.IY = 0x9800;
    s.Req.Halted = 0;
    s.Req.IFF1 = s.Req.IFF2 = 0;
    s.Req.PrefixRun = 0;
  }
  void Fill(uint8_t value) { memory_.fill(value); }
  Z80Result Step() { return Z80_ExecCycle(&object_); }
  TZ80State& State() { return *object_.StateRecord; }
  TZ80Object* Object() { return &object_; }

  // What the disassembler sees at an address: the bytes up to the top of
  // memory, as a debugger view would hand them.
  std::string Disassemble(uint16_t address, int& length) const {
    return Z80Disassemble(&memory_[address], memory_.size() - address, address, true, length);
  }

 private:
  static uint8_t Read(uint32_t address, void* user) {
    return static_cast<Machine*>(user)->memory_[address & 0xFFFF];
  }
  static void Write(uint32_t address, uint8_t value, void* user) {
    static_cast<Machine*>(user)->memory_[address & 0xFFFF] = value;
  }
  static uint8_t PortIn(uint32_t, void*) { return 0xFF; }
  static void PortOut(uint32_t, uint8_t, void*) {}
  static void IntCheck(void*) {}

  std::array<uint8_t, 65536> memory_{};
  TZ80Object object_;
};

// Every instruction of the seven pages, with operand bytes of #10 (so a
// jump that is taken lands far from the next instruction). Prefix chains
// inside a page are left to their own cases.
std::vector<Bytes> AllInstructions() {
  std::vector<Bytes> all;
  const Bytes leads[] = {{},     {0xCB},           {0xED},           {0xDD},
                         {0xFD}, {0xDD, 0xCB, 0x05}, {0xFD, 0xCB, 0xFB}};
  for (const Bytes& lead : leads) {
    const bool opensPage = lead.empty() || lead == Bytes{0xDD} || lead == Bytes{0xFD};
    for (int op = 0; op < 256; ++op) {
      const bool chain = op == 0xCB || op == 0xDD || op == 0xED || op == 0xFD;
      if (chain && opensPage) continue;
      Bytes b = lead;
      b.push_back(static_cast<uint8_t>(op));
      b.insert(b.end(), {0x10, 0x10, 0x10});
      all.push_back(b);
    }
  }
  const Bytes chains[] = {
      {0xDD, 0xFD, 0x21, 0x34, 0x12}, {0xDD, 0xDD, 0xDD, 0x21, 0x34, 0x12},
      {0xFD, 0xDD, 0xCB, 0x05, 0x06}, {0xDD, 0xED, 0xB0},
      {0xFD, 0xED, 0x4C},             {0xDD, 0xED, 0x43, 0x00, 0x40},
      {0xFD, 0xFD, 0x10, 0x10},       {0xED, 0xDD, 0x21},
  };
  for (const Bytes& c : chains) all.push_back(c);
  return all;
}

// The opcode byte that decides what an instruction does (after its prefixes).
uint8_t Opcode(const Bytes& b, bool& ed) {
  size_t i = 0;
  while (b[i] == 0xDD || b[i] == 0xFD) ++i;
  ed = b[i] == 0xED;
  if (b[i] == 0xED) return b[i + 1];
  if (b[i] == 0xCB) return b[i + 1];
  return b[i];
}

// Registers that make an instruction's condition fail (or its block end):
// F with the tested flag the wrong way round, B = 1 for DJNZ and the port
// blocks, BC = 1 for the others.
void FailingCondition(const Bytes& b, uint8_t& f, uint16_t& bc) {
  bool ed = false;
  const uint8_t op = Opcode(b, ed);
  const int x = op >> 6, y = (op >> 3) & 7, z = op & 7;
  f = 0;
  bc = 0x0001;
  if (b[0] == 0xCB || (b.size() > 1 && b[1] == 0xCB && b[0] != 0xED)) return;
  if (ed) {
    if (x == 2 && y >= 6 && (z == 2 || z == 3)) bc = 0x0100;
    return;
  }
  int cc = -1;
  if (x == 0 && z == 0 && y >= 4) cc = y - 4;
  if (x == 3 && (z == 0 || z == 2 || z == 4)) cc = y;
  if (cc >= 0) f = (cc & 1) ? 0x00 : 0xFF;  // odd cc test a set flag
  if (op == 0x10 && x == 0) bc = 0x0100;
}

std::string Hex(const Bytes& b, int count) {
  std::string s;
  char buf[4];
  for (int i = 0; i < count && i < static_cast<int>(b.size()); ++i) {
    std::snprintf(buf, sizeof(buf), "%02X ", b[i]);
    s += buf;
  }
  return s;
}

// Where the PC after one step is not the address after the instruction, so
// the length cannot be compared: the unconditional transfers and HALT, with
// or without DD/FD in front. Everything else agrees, including the prefix
// lines that fall back to the unprefixed text, the unassigned ED codes and
// the repeating block instructions (with BC = 1 or B = 1 they do not
// repeat).
bool MovesElsewhere(const Bytes& b) {
  bool ed = false;
  const uint8_t op = Opcode(b, ed);
  if (ed) {
    // RETN, RETI and their undocumented copies return to the popped address.
    return (op & 0xC7) == 0x45;
  }
  if (b[0] == 0xCB || (b.size() > 1 && b[1] == 0xCB && b[0] != 0xED)) return false;
  switch (op) {
    case 0x18:  // JR e: always jumps
    case 0xC3:  // JP nn
    case 0xCD:  // CALL nn
    case 0xC9:  // RET
    case 0xE9:  // JP (HL), JP (IX), JP (IY)
    case 0x76:  // HALT (also after DD/FD): PC stays on the 76 byte
      return true;
  }
  return (op & 0xC7) == 0xC7;  // RST p
}

TEST(DebuggerAgainstCore, LengthIsThePcAdvance) {
  Machine m;
  int compared = 0;
  for (const Bytes& b : AllInstructions()) {
    uint8_t f;
    uint16_t bc;
    FailingCondition(b, f, bc);
    m.Load(b, f, bc, 0x00);
    int length = 0;
    const std::string text = m.Disassemble(kStart, length);
    ASSERT_EQ(m.Step(), Z80_OK);
    const int advance = static_cast<uint16_t>(m.State().PC - kStart);
    if (MovesElsewhere(b)) {
      EXPECT_NE(advance, length) << Hex(b, length) << text << " was expected to jump";
      continue;
    }
    EXPECT_EQ(advance, length) << Hex(b, 6) << text;
    ++compared;
  }
  EXPECT_GT(compared, 1700);
}

TEST(DebuggerAgainstCore, TactsAreTheStepsTicks) {
  Machine m;
  // Each condition both ways: F all clear and all set; B and BC at 1 and
  // not; A equal to the byte at HL and not.
  const uint8_t flags[] = {0x00, 0xFF};
  const uint16_t counters[] = {0x0001, 0x0100, 0x0000, 0x0202};
  const uint8_t accumulators[] = {kAtHL, 0x00};
  for (const Bytes& b : AllInstructions()) {
    for (uint8_t f : flags) {
      for (uint16_t bc : counters) {
        for (uint8_t a : accumulators) {
          m.Load(b, f, bc, a);
          const int tacts = Z80InstructionTacts(m.Object(), kStart);
          ASSERT_EQ(m.Step(), Z80_OK);
          EXPECT_EQ(static_cast<int>(m.State().Req.Ticks), tacts)
              << Hex(b, 6) << "F=" << int(f) << " BC=" << bc << " A=" << int(a);
        }
      }
    }
  }
}

// Memory full of prefixes: the core ends its step after the bounded run, and
// both views end there too; the prefix carried into the next step counts.
TEST(DebuggerAgainstCore, PrefixRunsEndTogether) {
  const int run = z80dbg::kMaxPrefixRun;
  Machine m;
  for (uint8_t prefix : {uint8_t{0xDD}, uint8_t{0xFD}}) {
    m.Load({}, 0, 0, 0);
    m.Fill(prefix);
    m.State().PC = kStart;
    int length = 0;
    m.Disassemble(kStart, length);
    const int tacts = Z80InstructionTacts(m.Object(), kStart);
    ASSERT_EQ(m.Step(), Z80_OK);
    EXPECT_EQ(length, run);
    EXPECT_EQ(m.State().PC, kStart + run);
    EXPECT_EQ(static_cast<int>(m.State().Req.Ticks), tacts);
  }
  // The run ends exactly at the bound, followed by LD IX,nn: the next step
  // runs it with the prefix carried over.
  Bytes b(run, 0xDD);
  b.insert(b.end(), {0x21, 0x34, 0x12});
  m.Load(b, 0, 0, 0);
  ASSERT_EQ(m.Step(), Z80_OK);
  ASSERT_EQ(m.State().PC, kStart + run);
  const int tacts = Z80InstructionTacts(m.Object(), m.State().PC);
  ASSERT_EQ(m.Step(), Z80_OK);
  EXPECT_EQ(static_cast<int>(m.State().Req.Ticks), tacts);
  EXPECT_EQ(m.State().IX, 0x1234);
}

}  // namespace
