// What the reference vectors do not reach: the request lines and interrupt
// modes, the T-state each bus access is placed at, prefix chains, the bounded
// prefix run, the block output port and LD A,I against the interrupt line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "z80/z80_core.h"
#include "z80/z80_flags.h"
#include "z80_test_bus.h"

namespace {

using z80test::Access;
using z80test::BusEvent;
using z80test::TestCpu;

void Step(TestCpu& cpu) { z80::Z80Step(cpu.s); }

std::vector<BusEvent> Only(const std::vector<BusEvent>& events, std::initializer_list<Access> kinds) {
  std::vector<BusEvent> out;
  for (const auto& e : events)
    for (Access k : kinds)
      if (e.kind == k) out.push_back(e);
  return out;
}

// ---------------------------------------------------------------------------
// Interrupts, NMI, reset, HALT, EI.
// ---------------------------------------------------------------------------
struct InterruptCase {
  const char* name;
  uint32_t im;
  uint8_t i;
  uint8_t vector;
  uint16_t vectorAt;  // where the IM 2 table entry lies
  uint16_t target;
  uint32_t ticks;
};

class Interrupt : public testing::TestWithParam<InterruptCase> {};

TEST_P(Interrupt, PushesPcAndJumps) {
  const auto& c = GetParam();
  TestCpu cpu;
  cpu.s.PC = 0x1234;
  cpu.s.SP = 0x8000;
  cpu.s.IR = static_cast<uint16_t>(c.i << 8 | 0x7F);
  cpu.s.Req.IM = c.im;
  cpu.s.Req.IFF1 = cpu.s.Req.IFF2 = 1;  // a host may write 1 instead of 0xFF
  cpu.s.Req.IntLine = 1;
  cpu.s.Req.IntVector = c.vector;
  cpu.bus.memory[c.vectorAt] = static_cast<uint8_t>(c.target);
  cpu.bus.memory[static_cast<uint16_t>(c.vectorAt + 1)] = static_cast<uint8_t>(c.target >> 8);
  Step(cpu);
  EXPECT_EQ(cpu.s.PC, c.target);
  EXPECT_EQ(cpu.s.Req.Ticks, c.ticks);
  EXPECT_EQ(cpu.s.SP, 0x7FFE);
  EXPECT_EQ(cpu.bus.memory[0x7FFF], 0x12);
  EXPECT_EQ(cpu.bus.memory[0x7FFE], 0x34);
  EXPECT_EQ(cpu.s.Req.IFF1, 0);
  EXPECT_EQ(cpu.s.Req.IFF2, 0);
  EXPECT_EQ(cpu.R(), 0x00) << "R counts in bits 0-6 only";
  EXPECT_EQ(cpu.s.Req.IntLine, 1) << "the core never lowers the line";
  for (const auto& e : cpu.bus.events) EXPECT_EQ(e.ticks, 0u) << "pushes and vector reads at 0";
}

// The case's name, not its bytes, wherever GoogleTest prints the value.
void PrintTo(const InterruptCase& c, std::ostream* os) { *os << c.name; }
INSTANTIATE_TEST_SUITE_P(
    Modes, Interrupt,
    testing::Values(InterruptCase{"Im0ActsAsIm1", 0, 0x00, 0xC7, 0x0000, 0x0038, 13},
                    InterruptCase{"Im1", 1, 0x00, 0xFF, 0x0000, 0x0038, 13},
                    InterruptCase{"Im2", 2, 0x3B, 0xFF, 0x3BFF, 0x5678, 19},
                    InterruptCase{"Im2AcrossFFFF", 2, 0xFF, 0xFF, 0xFFFF, 0x9ABC, 19},
                    InterruptCase{"Im3ActsAsIm2", 3, 0x80, 0x10, 0x8010, 0x4321, 19}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Requests, Im2ReadsHighByteAtZeroAfterFFFF) {
  TestCpu cpu;
  cpu.s.SP = 0x8000;
  cpu.s.IR = 0xFF00;
  cpu.s.Req.IM = 2;
  cpu.s.Req.IFF1 = Z80_FLAG_SET;
  cpu.s.Req.IntLine = Z80_FLAG_SET;
  Step(cpu);
  const auto reads = Only(cpu.bus.events, {Access::Read});
  ASSERT_EQ(reads.size(), 2u);
  EXPECT_EQ(reads[0].address, 0xFFFF);
  EXPECT_EQ(reads[1].address, 0x0000);
}

TEST(Requests, NmiWhileHaltedReturnsAfterHalt) {
  TestCpu cpu;
  cpu.bus.Load(0x4000, {0x76});
  cpu.s.PC = 0x4000;
  cpu.s.SP = 0x9000;
  cpu.s.Req.IFF1 = cpu.s.Req.IFF2 = Z80_FLAG_SET;
  Step(cpu);
  ASSERT_TRUE(cpu.s.Req.Halted);
  EXPECT_EQ(cpu.s.PC, 0x4000);
  Step(cpu);  // idles
  EXPECT_EQ(cpu.s.Req.Ticks, 4u);
  EXPECT_EQ(cpu.R(), 2);
  cpu.s.Req.NmiPending = 1;
  Step(cpu);
  EXPECT_EQ(cpu.s.PC, 0x0066);
  EXPECT_EQ(cpu.s.Req.Ticks, 11u);
  EXPECT_FALSE(cpu.s.Req.Halted);
  EXPECT_EQ(cpu.s.Req.NmiPending, 0);
  EXPECT_EQ(cpu.s.Req.IFF1, 0);
  EXPECT_NE(cpu.s.Req.IFF2, 0) << "NMI keeps IFF2";
  EXPECT_EQ(cpu.bus.memory[0x8FFF], 0x40);
  EXPECT_EQ(cpu.bus.memory[0x8FFE], 0x01);
  EXPECT_EQ(cpu.R(), 3);
}

TEST(Requests, HaltedWithInterruptsDisabledStaysHalted) {
  TestCpu cpu;
  cpu.bus.Load(0, {0x76});
  Step(cpu);
  cpu.s.Req.IntLine = Z80_FLAG_SET;
  for (int i = 0; i < 5; ++i) {
    Step(cpu);
    EXPECT_EQ(cpu.s.Req.Ticks, 4u);
    EXPECT_TRUE(cpu.s.Req.Halted);
    EXPECT_EQ(cpu.s.PC, 0);
  }
  EXPECT_EQ(cpu.bus.events.size(), 1u) << "an idle step fetches nothing";
}

TEST(Requests, EiDelaysTheInterruptByOneInstruction) {
  TestCpu cpu;
  cpu.bus.Load(0x100, {0xFB, 0x00, 0x00});  // EI; NOP; NOP
  cpu.s.PC = 0x100;
  cpu.s.SP = 0x8000;
  cpu.s.Req.IM = 1;
  cpu.s.Req.IntLine = Z80_FLAG_SET;
  Step(cpu);  // EI
  EXPECT_EQ(cpu.s.PC, 0x101);
  Step(cpu);  // NOP runs although the line is up
  EXPECT_EQ(cpu.s.PC, 0x102);
  EXPECT_EQ(cpu.s.Req.AfterEI, 0);
  Step(cpu);  // now the interrupt
  EXPECT_EQ(cpu.s.PC, 0x0038);
  EXPECT_EQ(cpu.bus.memory[0x7FFE], 0x02);
  EXPECT_EQ(cpu.bus.memory[0x7FFF], 0x01);
}

TEST(Requests, EiDelayEndsAfterOneInstructionWithTheLineDown) {
  TestCpu cpu;
  cpu.bus.Load(0, {0xFB, 0x00, 0x00});  // EI; NOP; NOP
  cpu.s.SP = 0x8000;
  cpu.s.Req.IM = 1;
  Step(cpu);  // EI
  EXPECT_NE(cpu.s.Req.AfterEI, 0);
  Step(cpu);  // NOP
  EXPECT_EQ(cpu.s.Req.AfterEI, 0);
  cpu.s.Req.IntLine = Z80_FLAG_SET;
  Step(cpu);  // taken at once: the delay was used up
  EXPECT_EQ(cpu.s.PC, 0x0038);
}

TEST(Requests, RunOfEisKeepsTheInterruptBlocked) {
  TestCpu cpu;
  for (int i = 0; i < 10; ++i) cpu.bus.memory[i] = 0xFB;
  cpu.s.SP = 0x8000;
  cpu.s.Req.IntLine = Z80_FLAG_SET;
  for (int i = 0; i < 10; ++i) Step(cpu);
  EXPECT_EQ(cpu.s.PC, 10);
  Step(cpu);  // byte 10 is a NOP, still blocked by the last EI
  EXPECT_EQ(cpu.s.PC, 11);
  Step(cpu);
  EXPECT_EQ(cpu.s.PC, 0x0038);
}

TEST(Requests, NmiAfterEiLeavesTheDelayInForce) {
  TestCpu cpu;
  cpu.bus.Load(0, {0xFB});
  cpu.s.SP = 0x8000;
  Step(cpu);  // EI
  cpu.s.Req.NmiPending = Z80_FLAG_SET;
  cpu.s.Req.IntLine = Z80_FLAG_SET;
  Step(cpu);
  EXPECT_EQ(cpu.s.PC, 0x0066);
  EXPECT_NE(cpu.s.Req.AfterEI, 0);
  cpu.s.Req.IFF1 = Z80_FLAG_SET;  // as if the routine had enabled them
  Step(cpu);                      // first instruction of the NMI routine (NOP)
  EXPECT_EQ(cpu.s.PC, 0x0067);
}

TEST(Requests, ResetWinsOverPendingNmiAndInterrupt) {
  TestCpu cpu;
  cpu.s.PC = 0x1234;
  cpu.s.SP = 0x8000;
  cpu.s.AF = 0x5555;
  cpu.s.IR = 0x12FF;
  cpu.s.Req.IM = 2;
  cpu.s.Req.IFF1 = cpu.s.Req.IFF2 = Z80_FLAG_SET;
  cpu.s.Req.Halted = Z80_FLAG_SET;
  cpu.s.Req.ResetPending = Z80_FLAG_SET;
  cpu.s.Req.NmiPending = Z80_FLAG_SET;
  cpu.s.Req.IntLine = Z80_FLAG_SET;
  Step(cpu);
  EXPECT_EQ(cpu.s.Req.Ticks, 6u);
  EXPECT_EQ(cpu.s.PC, 0);
  EXPECT_EQ(cpu.s.IR, 0);
  EXPECT_EQ(cpu.s.Req.IM, 0u);
  EXPECT_EQ(cpu.s.Req.IFF1, 0);
  EXPECT_FALSE(cpu.s.Req.Halted);
  EXPECT_EQ(cpu.s.Req.ResetPending, 0);
  EXPECT_NE(cpu.s.Req.NmiPending, 0) << "looked at on the next step";
  EXPECT_EQ(cpu.s.SP, 0x8000);
  EXPECT_EQ(cpu.s.AF, 0x5555);
  EXPECT_TRUE(cpu.bus.events.empty());
  Step(cpu);
  EXPECT_EQ(cpu.s.PC, 0x0066);
}

// ---------------------------------------------------------------------------
// T-states seen by the callbacks.
// ---------------------------------------------------------------------------
struct TimingCase {
  const char* name;
  std::vector<uint8_t> code;
  std::vector<uint32_t> accessTicks;  // Ticks at each write, port or data read, in order
  uint32_t total;
};

class CallbackTicks : public testing::TestWithParam<TimingCase> {};

TEST_P(CallbackTicks, AccessesSeeTheirOffsets) {
  const auto& c = GetParam();
  TestCpu cpu;
  cpu.bus.Load(0x100, c.code);
  cpu.s.PC = 0x100;
  cpu.s.SP = 0x8000;
  cpu.s.HL = 0x9000;
  cpu.s.BC = 0x10FE;
  cpu.s.IX = cpu.s.IY = 0xA000;
  Step(cpu);
  std::vector<uint32_t> seen;
  for (const auto& e :
       Only(cpu.bus.events, {Access::Read, Access::Write, Access::In, Access::Out}))
    seen.push_back(e.ticks);
  EXPECT_EQ(seen, c.accessTicks);
  EXPECT_EQ(cpu.s.Req.Ticks, c.total);
}

// The case's name, not its bytes, wherever GoogleTest prints the value.
void PrintTo(const TimingCase& c, std::ostream* os) { *os << c.name; }
INSTANTIATE_TEST_SUITE_P(
    Table, CallbackTicks,
    testing::Values(
        TimingCase{"LdBcA", {0x02}, {6}, 7}, TimingCase{"LdNnHl", {0x22, 0, 0x90}, {12, 15}, 16},
        TimingCase{"LdNnA", {0x32, 0, 0x90}, {0}, 13},
        TimingCase{"IncHlMem", {0x34}, {0, 10}, 11}, TimingCase{"PushBc", {0xC5}, {7, 10}, 11},
        TimingCase{"PushAf", {0xF5}, {7, 10}, 11}, TimingCase{"DdPushBc", {0xDD, 0xC5}, {11, 14}, 15},
        TimingCase{"Rst28", {0xEF}, {7, 10}, 11}, TimingCase{"OutNA", {0xD3, 0xFE}, {10}, 11},
        TimingCase{"InAN", {0xDB, 0xFE}, {0}, 11}, TimingCase{"Call", {0xCD, 0, 0x90}, {0, 0}, 17},
        TimingCase{"ExSpHl", {0xE3}, {0, 0, 0, 0}, 19},
        TimingCase{"EdOutCA", {0xED, 0x79}, {11}, 12}, TimingCase{"EdInAC", {0xED, 0x78}, {4}, 12},
        TimingCase{"EdLdNnBc", {0xED, 0x43, 0, 0x90}, {16, 19}, 20},
        TimingCase{"EdLdir", {0xED, 0xB0}, {4, 4}, 21},
        TimingCase{"DdLdNnIx", {0xDD, 0x22, 0, 0x90}, {16, 19}, 20},
        TimingCase{"FdPushIy", {0xFD, 0xE5}, {11, 14}, 15},
        TimingCase{"DdIncIxd", {0xDD, 0x34, 0x05}, {4, 4}, 23},
        TimingCase{"DdLdIxdN", {0xDD, 0x36, 0x05, 0xAA}, {4}, 19},
        TimingCase{"CbSet0Hl", {0xCB, 0xC6}, {4, 4}, 15}, TimingCase{"CbBit0Hl", {0xCB, 0x46}, {4}, 12},
        TimingCase{"DdCbSet0", {0xDD, 0xCB, 0x01, 0xC6}, {8, 8}, 23},
        TimingCase{"DdCbBit0", {0xDD, 0xCB, 0x01, 0x46}, {8}, 20},
        TimingCase{"DdDdPushIx", {0xDD, 0xDD, 0xE5}, {15, 18}, 19}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Timing, FalseConditionalJumpAndCallSkipTheirOperands) {
  for (uint8_t op : {uint8_t{0xCA}, uint8_t{0xCC}}) {  // JP Z,nn; CALL Z,nn with Z clear
    TestCpu cpu;
    cpu.bus.Load(0x100, {op, 0x34, 0x12});
    cpu.s.PC = 0x100;
    Step(cpu);
    EXPECT_EQ(cpu.s.PC, 0x103);
    EXPECT_EQ(cpu.s.Req.Ticks, 10u);
    EXPECT_EQ(cpu.bus.events.size(), 1u) << "only the opcode is fetched";
  }
}

// ---------------------------------------------------------------------------
// Prefix chains.
// ---------------------------------------------------------------------------
struct ChainCase {
  const char* name;
  std::vector<uint8_t> code;
  uint32_t ticks;
  uint16_t pc;
  uint8_t r;
};

class PrefixChain : public testing::TestWithParam<ChainCase> {};

TEST_P(PrefixChain, IsOneStep) {
  const auto& c = GetParam();
  TestCpu cpu;
  cpu.bus.Load(0x100, c.code);
  cpu.s.PC = 0x100;
  cpu.s.SP = 0x8000;
  cpu.s.IX = 0x2000;
  cpu.s.IY = 0x3000;
  cpu.s.IR = 0x0080;  // R bit 7 survives the count
  Step(cpu);
  EXPECT_EQ(cpu.s.Req.Ticks, c.ticks);
  EXPECT_EQ(cpu.s.PC, c.pc);
  EXPECT_EQ(cpu.R(), 0x80 | c.r);
}

// The case's name, not its bytes, wherever GoogleTest prints the value.
void PrintTo(const ChainCase& c, std::ostream* os) { *os << c.name; }
INSTANTIATE_TEST_SUITE_P(
    Table, PrefixChain,
    testing::Values(ChainCase{"DdFd21", {0xDD, 0xFD, 0x21, 0x34, 0x12}, 18, 0x105, 3},
                    ChainCase{"DdDdDd21", {0xDD, 0xDD, 0xDD, 0x21, 0x34, 0x12}, 22, 0x106, 4},
                    ChainCase{"DdEd44", {0xDD, 0xED, 0x44}, 12, 0x103, 3},
                    ChainCase{"Dd76", {0xDD, 0x76}, 8, 0x101, 2},
                    ChainCase{"DdCb47", {0xDD, 0xCB, 0x05, 0x47}, 20, 0x104, 2},
                    ChainCase{"Dd00", {0xDD, 0x00}, 8, 0x102, 2},
                    ChainCase{"Ed00", {0xED, 0x00}, 8, 0x102, 2},
                    ChainCase{"Ed77", {0xED, 0x77}, 8, 0x102, 2},
                    ChainCase{"EdDd", {0xED, 0xDD, 0x21, 0, 0}, 8, 0x102, 2},
                    ChainCase{"DdFdE9", {0xDD, 0xFD, 0xE9}, 12, 0x3000, 3}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PrefixEffects, LastIndexPrefixDecidesAndEdIgnoresIt) {
  TestCpu cpu;
  cpu.bus.Load(0, {0xDD, 0xFD, 0x21, 0x34, 0x12, 0xDD, 0xEB, 0xDD, 0xED, 0x44});
  cpu.s.IX = 0x1111;
  cpu.s.HL = 0xAAAA;
  cpu.s.DE = 0xBBBB;
  cpu.s.AF = 0x0100;
  Step(cpu);
  EXPECT_EQ(cpu.s.IY, 0x1234);
  EXPECT_EQ(cpu.s.IX, 0x1111);
  Step(cpu);  // DD EB works on HL
  EXPECT_EQ(cpu.s.HL, 0xBBBB);
  EXPECT_EQ(cpu.s.DE, 0xAAAA);
  Step(cpu);  // DD ED 44 is NEG
  EXPECT_EQ(cpu.A(), 0xFF);
}

TEST(PrefixEffects, IndexedHaltResumesAfterThe76Byte) {
  TestCpu cpu;
  cpu.bus.Load(0x200, {0xDD, 0x76});
  cpu.s.PC = 0x200;
  cpu.s.SP = 0x8000;
  cpu.s.Req.IM = 1;
  cpu.s.Req.IFF1 = Z80_FLAG_SET;
  Step(cpu);
  EXPECT_TRUE(cpu.s.Req.Halted);
  EXPECT_EQ(cpu.s.PC, 0x201);
  cpu.s.Req.IntLine = Z80_FLAG_SET;
  Step(cpu);
  EXPECT_EQ(cpu.s.PC, 0x0038);
  EXPECT_EQ(cpu.bus.memory[0x7FFE], 0x02);
  EXPECT_EQ(cpu.bus.memory[0x7FFF], 0x02);
}

TEST(PrefixEffects, IndexBitCopiesAndBitIgnoresTheRegisterField) {
  TestCpu cpu;
  cpu.bus.Load(0, {0xDD, 0xCB, 0x02, 0x00,    // RLC (IX+2),B
                   0xDD, 0xCB, 0x02, 0x06,    // RLC (IX+2)
                   0xFD, 0xCB, 0x80, 0x86});  // RES 0,(IY-128)
  cpu.s.IX = 0x5000;
  cpu.s.IY = 0x0010;
  cpu.bus.memory[0x5002] = 0x81;
  cpu.bus.memory[0xFF90] = 0xFF;
  cpu.s.BC = 0x0000;
  Step(cpu);
  EXPECT_EQ(cpu.bus.memory[0x5002], 0x03);
  EXPECT_EQ(cpu.s.BC >> 8, 0x03);
  Step(cpu);
  EXPECT_EQ(cpu.bus.memory[0x5002], 0x06);
  EXPECT_EQ(cpu.s.BC >> 8, 0x03) << "z = 6 copies nowhere";
  Step(cpu);
  EXPECT_EQ(cpu.bus.memory[0xFF90], 0xFE);
}

// ---------------------------------------------------------------------------
// The bounded prefix run.
// ---------------------------------------------------------------------------
TEST(PrefixRun, MemoryFullOfDdEndsEachStep) {
  TestCpu cpu;
  cpu.bus.memory.fill(0xDD);
  cpu.bus.record = false;
  Step(cpu);
  EXPECT_EQ(cpu.s.Req.Ticks, 4u * z80::kMaxPrefixRun);
  EXPECT_EQ(cpu.s.PC, z80::kMaxPrefixRun);
  EXPECT_EQ(cpu.s.Req.PrefixRun, 0xDD);
  EXPECT_EQ(cpu.R(), z80::kMaxPrefixRun & 0x7F);
  for (int i = 0; i < 300; ++i) Step(cpu);  // keeps going, never stuck
  EXPECT_EQ(cpu.s.Req.PrefixRun, 0xDD);
}

TEST(PrefixRun, NoRequestIsTakenAtTheBoundary) {
  TestCpu cpu;
  const int prefixes = 300;
  for (int i = 0; i < prefixes; ++i) cpu.bus.memory[i] = i == prefixes - 1 ? 0xFD : 0xDD;
  cpu.bus.Load(prefixes, {0x21, 0x34, 0x12});  // ... FD 21: LD IY,nn
  cpu.s.SP = 0x8000;
  cpu.s.Req.IM = 1;
  cpu.s.Req.IFF1 = Z80_FLAG_SET;
  Step(cpu);
  ASSERT_EQ(cpu.s.Req.PrefixRun, 0xDD);
  cpu.s.Req.IntLine = Z80_FLAG_SET;
  cpu.s.Req.NmiPending = Z80_FLAG_SET;
  cpu.s.Req.ResetPending = Z80_FLAG_SET;
  uint32_t total = cpu.s.Req.Ticks;
  Step(cpu);
  total += cpu.s.Req.Ticks;
  EXPECT_EQ(cpu.s.Req.PrefixRun, 0);
  EXPECT_EQ(cpu.s.IY, 0x1234);
  EXPECT_EQ(cpu.s.PC, prefixes + 3);
  EXPECT_EQ(total, 4u * prefixes + 10);
  EXPECT_EQ(cpu.R(), (prefixes + 1) & 0x7F);
  EXPECT_NE(cpu.s.Req.ResetPending, 0) << "the requests wait for the instruction's end";
  Step(cpu);
  EXPECT_EQ(cpu.s.Req.Ticks, 6u);  // now the reset
}

// ---------------------------------------------------------------------------
// Block output, LD A,I/R.
// ---------------------------------------------------------------------------
struct BlockOutCase {
  const char* name;
  uint8_t op;
  uint16_t hlAfter;
};

class BlockOutput : public testing::TestWithParam<BlockOutCase> {};

TEST_P(BlockOutput, PortCarriesTheDecrementedB) {
  const auto& c = GetParam();
  TestCpu cpu;
  cpu.bus.Load(0, {0xED, c.op});
  cpu.s.BC = 0x10FE;
  cpu.s.HL = 0x4000;
  cpu.bus.memory[0x4000] = 0x99;
  Step(cpu);
  const auto outs = Only(cpu.bus.events, {Access::Out});
  ASSERT_EQ(outs.size(), 1u);
  EXPECT_EQ(outs[0].address, 0x0FFE);
  EXPECT_EQ(outs[0].value, 0x99);
  EXPECT_EQ(cpu.s.BC, 0x0FFE);
  EXPECT_EQ(cpu.s.HL, c.hlAfter);
  // k = 0x99 + (C + 1) = 0x99 + 0xFF > 255 for all four; N from bit 7 of the byte.
  EXPECT_EQ(cpu.F() & (z80::FLAG_H | z80::FLAG_C | z80::FLAG_N),
            z80::FLAG_H | z80::FLAG_C | z80::FLAG_N);
  EXPECT_EQ(cpu.F() & z80::FLAG_PV, z80::EvenParity(0x0F) ? z80::FLAG_PV : 0);
}

// The case's name, not its bytes, wherever GoogleTest prints the value.
void PrintTo(const BlockOutCase& c, std::ostream* os) { *os << c.name; }
INSTANTIATE_TEST_SUITE_P(All, BlockOutput,
                         testing::Values(BlockOutCase{"Outi", 0xA3, 0x4001},
                                         BlockOutCase{"Outd", 0xAB, 0x3FFF},
                                         BlockOutCase{"Otir", 0xB3, 0x4001},
                                         BlockOutCase{"Otdr", 0xBB, 0x3FFF}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(BlockInput, PortCarriesBBeforeTheDecrement) {
  TestCpu cpu;
  cpu.bus.Load(0, {0xED, 0xA2});
  cpu.s.BC = 0x10FE;
  cpu.s.HL = 0x4000;
  Step(cpu);
  const auto ins = Only(cpu.bus.events, {Access::In});
  ASSERT_EQ(ins.size(), 1u);
  EXPECT_EQ(ins[0].address, 0x10FE);
  EXPECT_EQ(cpu.bus.memory[0x4000], 0x10);
}

struct LdAICase {
  const char* name;
  uint8_t op;  // 57 LD A,I or 5F LD A,R
  uint8_t iff1, iff2, line;
  bool pv;
};

class LdAIrPv : public testing::TestWithParam<LdAICase> {};

TEST_P(LdAIrPv, IsIff2UnlessAnInterruptIsDue) {
  const auto& c = GetParam();
  TestCpu cpu;
  cpu.bus.Load(0, {0xED, c.op});
  cpu.s.IR = 0x3500;
  cpu.s.Req.IFF1 = c.iff1;
  cpu.s.Req.IFF2 = c.iff2;
  cpu.s.Req.IntLine = c.line;
  cpu.s.Req.AfterEI = Z80_FLAG_SET;  // keeps the step from taking the interrupt first
  Step(cpu);
  EXPECT_EQ((cpu.F() & z80::FLAG_PV) != 0, c.pv);
  EXPECT_EQ(Only(cpu.bus.events, {Access::IntCheck}).size(), 1u);
  EXPECT_EQ(cpu.A(), c.op == 0x57 ? 0x35 : 0x02);
}

// The case's name, not its bytes, wherever GoogleTest prints the value.
void PrintTo(const LdAICase& c, std::ostream* os) { *os << c.name; }
INSTANTIATE_TEST_SUITE_P(
    Table, LdAIrPv,
    testing::Values(LdAICase{"LineUp", 0x57, 0xFF, 0xFF, 0xFF, false},
                    LdAICase{"LineDown", 0x57, 0xFF, 0xFF, 0x00, true},
                    LdAICase{"OnesFromHost", 0x57, 1, 1, 0, true},
                    LdAICase{"OnesFromHostLineUp", 0x5F, 1, 1, 1, false},
                    LdAICase{"Iff1Clear", 0x5F, 0x00, 0xFF, 0xFF, true},
                    LdAICase{"Iff2Clear", 0x57, 0xFF, 0x00, 0x00, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Registers, LdRAKeepsAllEightBitsThenCountsInSeven) {
  TestCpu cpu;
  cpu.bus.Load(0, {0xED, 0x4F, 0xED, 0x5F});
  cpu.s.AF = 0x7F00;
  Step(cpu);
  EXPECT_EQ(cpu.R(), 0x7F);
  Step(cpu);
  EXPECT_EQ(cpu.A(), 0x01) << "two advances wrap within bits 0-6";
}

TEST(Tables, DispatchShapes) {
  int shared = 0;
  for (int op = 0; op < 256; ++op) {
    shared += z80::Z80OpTableDD[op] == z80::Z80OpTableMain[op];
    EXPECT_EQ(z80::Z80OpTableDD[op] == z80::Z80OpTableMain[op],
              z80::Z80OpTableFD[op] == z80::Z80OpTableMain[op]);
  }
  EXPECT_EQ(shared, 169);
  int nops = 0;
  for (int op = 0; op < 256; ++op) nops += z80::Z80OpTableED[op] == z80::Z80OpTableMain[0];
  EXPECT_EQ(nops, 178);
  for (int op = 0x40; op < 0x80; ++op)
    EXPECT_EQ(z80::Z80OpTableDDCB[op], z80::Z80OpTableDDCB[op | 6]) << op;
}

}  // namespace

namespace {

// The plain step's own bookkeeping: R counts in its low seven bits across
// the wrap, and of the four bytes the step reads as one word only the three
// request bytes divert it (IntVector alone does not).
struct PlainStepCase {
  const char* name;
  uint8_t r, resetPending, intLine, nmiPending;
  uint16_t pc;  // after the step at 0x100 (NOP there, IFF1 set, IM 1)
  uint8_t rAfter;
};

class PlainStep : public testing::TestWithParam<PlainStepCase> {};

TEST_P(PlainStep, CountsRAndSeesOnlyRequestBytes) {
  const auto& c = GetParam();
  TestCpu cpu;
  cpu.s.PC = 0x100;
  cpu.s.SP = 0x8000;
  cpu.s.IR = c.r;
  cpu.s.Req.IM = 1;
  cpu.s.Req.IFF1 = cpu.s.Req.IFF2 = Z80_FLAG_SET;
  cpu.s.Req.IntVector = 0x5A;
  cpu.s.Req.ResetPending = c.resetPending;
  cpu.s.Req.IntLine = c.intLine;
  cpu.s.Req.NmiPending = c.nmiPending;
  Step(cpu);
  EXPECT_EQ(cpu.s.PC, c.pc);
  EXPECT_EQ(cpu.R(), c.rAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Table, PlainStep,
    testing::Values(PlainStepCase{"RWrapsBit7Clear", 0x7F, 0, 0, 0, 0x101, 0x00},
                    PlainStepCase{"RWrapsBit7Set", 0xFF, 0, 0, 0, 0x101, 0x80},
                    PlainStepCase{"RCounts", 0x85, 0, 0, 0, 0x101, 0x86},
                    PlainStepCase{"Reset", 0x10, 1, 0, 0, 0x0000, 0x00},
                    PlainStepCase{"Int", 0x10, 0, 1, 0, 0x0038, 0x11},
                    PlainStepCase{"Nmi", 0x10, 0, 0, 1, 0x0066, 0x11}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
