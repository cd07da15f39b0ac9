// The frame clock: frame end, the INT window, Align M1, the HALT skip, the
// interrupt-line check inside LD A,I / LD A,R, and the tape trap.
#include <random>

#include "machine_test_util.h"

using namespace machine_test;

namespace {

uint8_t IntLine(TZXHardware& m) { return m.Cpu().Req.IntLine.load(); }
uint8_t R(TZXHardware& m) { return uint8_t(m.Cpu().IR); }

struct WindowCase {
  uint32_t begin, end;
  uint32_t before;
  int32_t ticks;
  uint32_t after;
  uint8_t line;
};

TEST(FrameClock, IntWindow) {
  const WindowCase cases[] = {
      {0, 31, 0, 4, 4, 1},         {0, 31, 27, 4, 31, 1},     {0, 31, 28, 4, 32, 0},
      {0, 31, 100, 4, 104, 0},     {0, 31, 71670, 13, 3, 1},  {0, 31, 71676, 4, 0, 1},
      {10, 20, 5, 4, 9, 0},        {10, 20, 6, 4, 10, 1},     {10, 20, 16, 4, 20, 1},
      {10, 20, 17, 4, 21, 0},
  };
  for (const WindowCase& c : cases) {
    auto m = MakeMachine();
    m->Timing.timeInterruptBegin = c.begin;
    m->Timing.timeInterruptEnd = c.end;
    m->Cpu().PC = 0x8000;
    m->FrameTact = c.before;
    m->OnStep(c.ticks);
    EXPECT_EQ(m->FrameTact, c.after) << c.before << "+" << c.ticks;
    EXPECT_EQ(IntLine(*m), c.line) << c.before << "+" << c.ticks;
    EXPECT_EQ(m->GlobalTact, uint64_t(c.ticks));
  }
}

TEST(FrameClock, FrameEndPollsThenPresents) {
  auto m = MakeMachine();
  RecordingInput input;
  RecordingDisplay display;
  m->SetInputDevices(&input);
  m->SetDisplayOutput(&display);
  m->FrameTact = 71670;
  m->OnStep(13);
  EXPECT_EQ(m->FrameTact, 3u);
  EXPECT_EQ(input.calls, "KJM");
  EXPECT_EQ(display.presents, 1);
  m->OnStep(13);
  EXPECT_EQ(display.presents, 1);
}

TEST(FrameClock, ShortenedPeriod) {
  auto m = MakeMachine();
  m->FrameTact = 70000;
  m->Timing.timeLoopTime = 69888;
  m->OnStep(4);
  EXPECT_EQ(m->FrameTact, 70004u - 69888u);
  // Still past the new period after one subtraction: the frame starts afresh.
  m->FrameTact = 200000;
  m->OnStep(4);
  EXPECT_EQ(m->FrameTact, 0u);
}

TEST(FrameClock, AlignM1RoundsOddTactsUpOutsideTheRom) {
  struct Case {
    uint8_t align;
    uint16_t pc;
    int32_t ticks;
    uint32_t after;
  } cases[] = {
      {1, 0x8000, 7, 108}, {1, 0x4000, 7, 108}, {1, 0x3FFF, 7, 107},
      {1, 0x1000, 7, 107}, {0, 0x8000, 7, 107}, {1, 0x8000, 8, 108},
  };
  for (const Case& c : cases) {
    auto m = MakeMachine();
    m->Timing.execAlignM1 = c.align;
    m->Cpu().PC = c.pc;
    m->FrameTact = 100;
    m->OnStep(c.ticks);
    EXPECT_EQ(m->FrameTact, c.after) << std::hex << c.pc;
    EXPECT_EQ(m->GlobalTact, c.after - 100u);
  }
}

// The halted processor's 4-T-state passes, written out as the loop they
// stand for: the oracle for the machine's closed form.
void HaltLoop(uint32_t& tact, uint8_t& r, const TTimingValues& t) {
  uint8_t c = r;
  while (!(tact >= t.timeInterruptBegin && tact <= t.timeInterruptEnd) &&
         tact < t.timeLoopTime - 8) {
    tact += 4;
    ++c;
  }
  r = uint8_t((r & 0x80) | (c & 0x7F));
}

TEST(FrameClock, HaltSkipJumpsToEightBeforeTheFrameEnd) {
  auto m = MakeMachine();
  m->Cpu().Req.Halted = Z80_FLAG_SET;
  m->Cpu().IR = 0x3F85;
  m->FrameTact = 96;
  m->OnStep(4);
  EXPECT_EQ(m->FrameTact, 71672u);
  EXPECT_EQ(m->GlobalTact, 71672u - 96u);
  // 17893 passes: R's low seven bits grow by 17893 mod 128 = 101.
  EXPECT_EQ(R(*m), 0x80 | ((0x05 + 101) & 0x7F));
  EXPECT_EQ(m->Cpu().IR >> 8, 0x3F);
  // The next halted steps cross the frame end and land in the window.
  m->OnStep(4);
  m->OnStep(4);
  EXPECT_EQ(m->FrameTact, 0u);
  EXPECT_EQ(IntLine(*m), 1);
}

TEST(FrameClock, HaltSkipMatchesTheLoop) {
  std::mt19937 rng(7);
  auto m = MakeMachine();
  for (int i = 0; i < 3000; ++i) {
    TTimingValues t = m->Timing;
    t.timeLoopTime = 9 + rng() % 5000;
    t.timeInterruptBegin = rng() % t.timeLoopTime;
    t.timeInterruptEnd = t.timeInterruptBegin + rng() % 12;
    m->Timing = t;
    m->Cpu().Req.Halted = Z80_FLAG_SET;
    m->Cpu().IR = uint16_t(rng());
    m->Cpu().PC = 0x8000;
    m->FrameTact = rng() % (t.timeLoopTime - 4);
    uint32_t tact = m->FrameTact + 4;
    uint8_t r = R(*m);
    m->OnStep(4);
    if (tact < t.timeLoopTime) HaltLoop(tact, r, t);
    else continue;  // a frame end: not the case under test
    ASSERT_EQ(m->FrameTact, tact) << "loop " << t.timeLoopTime << " window "
                                  << t.timeInterruptBegin << "-" << t.timeInterruptEnd;
    ASSERT_EQ(R(*m), r);
  }
}

TEST(FrameClock, HaltSkipLeavesTheWindowAndShortFramesAlone) {
  auto m = MakeMachine();
  m->Cpu().Req.Halted = Z80_FLAG_SET;
  m->FrameTact = 6;
  m->OnStep(4);  // lands in the INT window: no skip
  EXPECT_EQ(m->FrameTact, 10u);

  // A frame shorter than the skip's 8-T-state margin must not run away.
  m->Timing.timeLoopTime = 6;
  m->Timing.timeInterruptBegin = 5;
  m->Timing.timeInterruptEnd = 5;
  m->FrameTact = 0;
  for (int i = 0; i < 100; ++i) {
    m->OnStep(4);
    ASSERT_LT(m->FrameTact, 6u);
  }
  EXPECT_EQ(m->GlobalTact, 4u + 400u);
}

TEST(FrameClock, UpdateIntLineSeesTheInstructionsOwnTacts) {
  auto m = MakeMachine();
  m->FrameTact = 71670;
  m->Cpu().Req.Ticks = 12;  // T-state 2 of the next frame
  TZXHardware::UpdateIntLine(m.get());
  EXPECT_EQ(IntLine(*m), 1);

  m->Cpu().Req.IntLine.store(0);
  m->FrameTact = 100;
  TZXHardware::UpdateIntLine(m.get());
  EXPECT_EQ(IntLine(*m), 0);

  m->Cpu().Req.IntLine.store(1);  // it never clears the line
  TZXHardware::UpdateIntLine(m.get());
  EXPECT_EQ(IntLine(*m), 1);
}

TEST(FrameClock, TapeTrapOnlyAtTheByteLoaderOfThe48Rom) {
  struct Case {
    const char* name;
    uint16_t pc;
    uint8_t traps, tape, trdos, extrom;
    uint8_t port7ffd;
    int expected;
  } cases[] = {
      {"trap", 0x056B, 1, 1, 0, 0, 0x10, 1},
      {"other_pc", 0x056C, 1, 1, 0, 0, 0x10, 0},
      {"traps_off", 0x056B, 0, 1, 0, 0, 0x10, 0},
      {"tape_off", 0x056B, 1, 0, 0, 0, 0x10, 0},
      {"trdos", 0x056B, 1, 1, 1, 0, 0x10, 0},
      {"extrom", 0x056B, 1, 1, 0, 1, 0x10, 0},
      {"rom128", 0x056B, 1, 1, 0, 0, 0x00, 0},
  };
  for (const auto& c : cases) {
    auto m = MakeMachine();
    RecordingTape tape;
    m->SetTapeDeck(&tape);
    m->WritePort7FFD(c.port7ffd);
    m->TapeTrapsEnabled = c.traps;
    m->TapeEmulationEnabled = c.tape;
    m->TrdosActive = c.trdos;
    m->ExtRomActive = c.extrom;
    m->Cpu().PC = c.pc;
    m->FrameTact = 1000;
    m->OnStep(4);
    EXPECT_EQ(tape.traps, c.expected) << c.name;
  }
}

// ---- with the processor stepping -----------------------------------------

// NOPs at #8000, IM 1, the 128 ROM's #0038 holding NOPs too.
std::unique_ptr<TZXHardware> NopMachine() {
  auto m = MakeMachine();
  std::fill(m->RamPages[2], m->RamPages[2] + TZXHardware::kPageSize, 0x00);
  m->Cpu().PC = 0x8000;
  m->Cpu().SP = 0xC000;
  m->Cpu().Req.IM = 1;
  return m;
}

TEST(FrameClock, MenuIntLastsOneStep) {
  auto m = NopMachine();
  m->FrameTact = 1000;
  m->RaiseInt();  // interrupts disabled: this step does not take it
  EXPECT_EQ(IntLine(*m), 1);
  ASSERT_EQ(m->StepCpu(), Z80_OK);
  EXPECT_EQ(IntLine(*m), 0);
  m->Cpu().Req.IFF1 = m->Cpu().Req.IFF2 = 1;
  ASSERT_EQ(m->StepCpu(), Z80_OK);  // the request is gone
  EXPECT_EQ(m->Cpu().PC, 0x8002);

  m->RaiseInt();
  ASSERT_EQ(m->StepCpu(), Z80_OK);  // now taken
  EXPECT_EQ(m->Cpu().PC, 0x0038);
  EXPECT_EQ(IntLine(*m), 0);
}

TEST(FrameClock, SteppedFramesPresentOncePerPeriod) {
  auto m = NopMachine();
  RecordingDisplay display;
  m->SetDisplayOutput(&display);
  RunFrames(*m, 3);
  EXPECT_EQ(display.presents, 3);
  EXPECT_EQ(m->GlobalTact / m->Timing.timeLoopTime, 3u);
}

TEST(FrameClock, HaltedProcessorWakesOnTheFrameInterrupt) {
  auto m = NopMachine();
  Poke(*m, 0x8000, {0xFB, 0x76});  // EI; HALT
  m->FrameTact = 100;
  int steps = 0;
  while (m->Cpu().PC != 0x0038 && steps < 1000) {
    ASSERT_EQ(m->StepCpu(), Z80_OK);
    ++steps;
  }
  EXPECT_EQ(m->Cpu().PC, 0x0038);
  EXPECT_LT(steps, 10);  // the skip, not 17,000 halted steps
  EXPECT_LE(m->FrameTact, m->Timing.timeInterruptEnd + 20u);
}

}  // namespace
