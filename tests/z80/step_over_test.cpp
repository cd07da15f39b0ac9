// Step-over on the caller's thread: where it stops, and its question after
// every 1,000,000 steps.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/recording_dialogs.h"
#include "z80/debugger/dasm_tables.h"
#include "z80/debugger/disassembler.h"
#include "z80/z80_breakpoints.h"
#include "z80_test_host.h"

namespace {

using z80test::TestBus;

struct Host : z80test::InstanceHost {
  Host() { object.StateRecord->SP = 0xF000; }
};

struct OverCase {
  const char* name;
  std::vector<uint8_t> code;  // at 0x100
  uint16_t pcAfter;
  int steps;
};

class StepOver : public testing::TestWithParam<OverCase> {};

// The routine at 0x8000 runs three steps: NOP, NOP, RET.
TEST_P(StepOver, StopsWhereItShould) {
  const auto& c = GetParam();
  Host h;
  h.bus.Load(0x100, c.code);
  h.bus.Load(0x8000, {0x00, 0x00, 0xC9});
  h.bus.Load(0x0028, {0x00, 0xC9});
  h.S().PC = 0x100;
  h.S().BC = 0x0500;
  h.bus.memory[0xF000] = 0x00;
  h.bus.memory[0xF001] = 0x90;  // RET goes to 0x9000
  ASSERT_EQ(Z80_ExecOver(&h.object), Z80_OK);
  EXPECT_EQ(h.S().PC, c.pcAfter);
  EXPECT_EQ(h.bus.afterSteps, c.steps);
  EXPECT_EQ(h.object.Busy, 0);
  EXPECT_TRUE(h.dialogs.dialogs.Messages().empty());
}

// The case's name, not its bytes, wherever GoogleTest prints the value.
void PrintTo(const OverCase& c, std::ostream* os) { *os << c.name; }
INSTANTIATE_TEST_SUITE_P(
    Table, StepOver,
    testing::Values(OverCase{"Call", {0xCD, 0x00, 0x80}, 0x103, 4},
                    OverCase{"CallTaken", {0xC4, 0x00, 0x80}, 0x103, 4},  // CALL NZ (Z clear)
                    OverCase{"Rst28", {0xEF}, 0x101, 3},
                    OverCase{"Nop", {0x00}, 0x101, 1},
                    OverCase{"JpElsewhere", {0xC3, 0x00, 0x80}, 0x8000, 1},
                    OverCase{"JrElsewhere", {0x18, 0x10}, 0x112, 1},
                    OverCase{"Djnz", {0x10, 0xFE}, 0x100, 1},
                    OverCase{"Ret", {0xC9}, 0x9000, 1},
                    OverCase{"Reti", {0xED, 0x4D}, 0x9000, 1},
                    OverCase{"JpHl", {0xE9}, 0x0000, 1},
                    OverCase{"Halt", {0x76}, 0x100, 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(StepOverHalted, MakesOneStep) {
  Host h;
  h.S().PC = 0x100;
  h.S().Req.Halted = Z80_FLAG_SET;
  ASSERT_EQ(Z80_ExecOver(&h.object), Z80_OK);
  EXPECT_EQ(h.bus.afterSteps, 1);
}

// The table's flow against what the disassembly text says, for every code
// of every page: step-over single-steps exactly the instructions whose text
// names a jump, a return or HALT.
TEST(StepOverFlow, AgreesWithTheDisassemblyText) {
  using namespace z80dbg;
  const std::vector<uint8_t> leads[] = {
      {}, {0xCB}, {0xED}, {0xDD}, {0xFD}, {0xDD, 0xCB, 0x05}, {0xFD, 0xCB, 0x05}, {0xDD, 0xED},
      {0xFD, 0xDD}};
  int singles = 0;
  for (const auto& lead : leads) {
    for (int op = 0; op < 256; ++op) {
      std::vector<uint8_t> b = lead;
      b.insert(b.end(), {static_cast<uint8_t>(op), 0x12, 0x34, 0x56});
      int length = 0;
      const std::string text = Z80Disassemble(b.data(), b.size(), 0x4000, true, length);
      bool byText = false;
      for (const char* word : {"JP", "RET", "JR", "DJNZ", "HALT"})
        byText = byText || text.find(word) != std::string::npos;
      const TZ80OpInfo* info = Z80FindOp(b.data(), b.size());
      const TZ80Flow flow = info ? info->Flow : TZ80Flow::Next;
      const bool byFlow =
          flow == TZ80Flow::Jump || flow == TZ80Flow::Return || flow == TZ80Flow::Halt;
      EXPECT_EQ(byFlow, byText) << text;
      singles += byFlow;
    }
  }
  EXPECT_GT(singles, 100);
  // A run of prefixes as long as the core's bound is a step of its own.
  const std::vector<uint8_t> run(kMaxPrefixRun + 1, 0xDD);
  EXPECT_EQ(Z80FindOp(run.data(), run.size()), nullptr);
}

TEST(StepOverBreakpoints, StartBreakpointRunsAndAnotherStops) {
  Host h;
  h.bus.Load(0x100, {0xCD, 0x00, 0x80});
  h.bus.Load(0x8000, {0x00, 0x00, 0xC9});
  h.S().PC = 0x100;
  z80::BreakpointAdd(&h.object, 0x100);
  z80::BreakpointAdd(&h.object, 0x8001);
  ASSERT_EQ(Z80_ExecOver(&h.object), Z80_OK);
  EXPECT_EQ(h.S().PC, 0x8001) << "stopped before the instruction at the breakpoint";
  EXPECT_EQ(h.bus.afterSteps, 2);
  EXPECT_EQ(h.object.BreakpointHit, 0) << "a step-over stop is not handed to the host";
}

TEST(StepOverQuestion, AskedAfterEveryMillionSteps) {
  Host h;
  h.bus.Load(0x100, {0xCD, 0x00, 0x80});
  h.bus.Load(0x8000, {0x18, 0xFE});  // JR $: never returns
  h.S().PC = 0x100;
  h.dialogs.dialogs.Script({platform::MsgResult::Cancel, platform::MsgResult::Ok});
  ASSERT_EQ(Z80_ExecOver(&h.object), Z80_OK);
  EXPECT_EQ(h.bus.afterSteps, 2000000);
  const auto m = h.dialogs.dialogs.Messages();
  ASSERT_EQ(m.size(), 2u);
  EXPECT_EQ(m[0].caption, "Запрос на продолжение...");
  EXPECT_EQ(m[0].text,
            "Выполнен 1 000 000 циклов,\nно управление на следующий адрес\nне передано!\n"
            "Остановить исполнение?");
  EXPECT_EQ(m[0].buttons, platform::MsgButtons::OkCancel);
  EXPECT_EQ(m[0].default_button, platform::MsgResult::Ok);
  EXPECT_EQ(h.S().PC, 0x8000);
}

TEST(StepOverRefusals, RunningAndBusy) {
  Host h;
  h.object.Running = 1;
  EXPECT_EQ(Z80_ExecOver(&h.object), Z80_RUNNING);
  h.object.Running = 0;
  h.object.Busy = 1;
  EXPECT_EQ(Z80_ExecOver(&h.object), Z80_BUSY);
  h.object.Busy = 0;
  EXPECT_EQ(h.dialogs.dialogs.Messages().size(), 1u);
}

}  // namespace
