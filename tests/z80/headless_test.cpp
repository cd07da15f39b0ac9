// An outside host: the public header and libZ80.so, nothing else (no GUI,
// no internals).
#include <gtest/gtest.h>

#include <cstdint>

#include "z80/z80.h"

namespace {

uint8_t g_memory[65536];
// Heap-held and never freed: left running for the library's own clean-up
// at exit.
TZ80Object* const forgotten = new TZ80Object;

uint8_t Fetch(uint32_t a, void*) { return g_memory[a & 0xFFFF]; }
uint8_t Read(uint32_t a, void*) { return g_memory[a & 0xFFFF]; }
void Write(uint32_t a, uint8_t v, void*) { g_memory[a & 0xFFFF] = v; }
uint8_t In(uint32_t, void*) { return 0xFF; }
void Out(uint32_t, uint8_t, void*) {}
void IntCheck(void*) {}
void AfterStep(uint32_t ticks, void* user) { *static_cast<uint32_t*>(user) += ticks; }

TEST(Headless, CreateStepDestroy) {
  uint32_t total = 0;
  TZ80Object cpu;
  ASSERT_EQ(Z80_Create("headless", Fetch, Read, Write, In, Out, IntCheck, AfterStep, nullptr,
                       &total, &cpu),
            Z80_OK);
  cpu.RequestLines->ResetPending = Z80_FLAG_SET;
  ASSERT_EQ(Z80_ExecCycle(&cpu), Z80_OK);
  const uint8_t program[] = {0x21, 0x00, 0x40,  // LD HL,#4000
                             0x36, 0x99,        // LD (HL),#99
                             0x76};             // HALT
  for (unsigned i = 0; i < sizeof program; ++i) g_memory[i] = program[i];
  for (int i = 0; i < 4; ++i) ASSERT_EQ(Z80_ExecCycle(&cpu), Z80_OK);
  EXPECT_EQ(g_memory[0x4000], 0x99);
  EXPECT_EQ(cpu.State->HL, 0x4000);
  EXPECT_NE(cpu.RequestLines->Halted, 0);
  EXPECT_EQ(total, 6u + 10 + 10 + 4 + 4);
  EXPECT_EQ(Z80_IsRunning(&cpu), 0);
  Z80_StatusTick(&cpu);
  EXPECT_EQ(Z80_Destroy(&cpu), Z80_OK);
}

TEST(Headless, RunAndStop) {
  uint32_t total = 0;
  TZ80Object cpu;
  ASSERT_EQ(Z80_Create(nullptr, Fetch, Read, Write, In, Out, IntCheck, nullptr, nullptr, &total,
                       &cpu),
            Z80_OK);
  g_memory[0] = 0x18;  // JR $
  g_memory[1] = 0xFE;
  cpu.State->PC = 0;
  ASSERT_EQ(Z80_Start(&cpu), Z80_OK);
  EXPECT_EQ(Z80_IsRunning(&cpu), 1);
  ASSERT_EQ(Z80_Stop(&cpu), Z80_OK);
  EXPECT_EQ(cpu.State->PC, 0);
  // Left registered on purpose: unloading the library must clean it up.
  ASSERT_EQ(Z80_Create(nullptr, Fetch, Read, Write, In, Out, IntCheck, nullptr, nullptr, nullptr,
                       forgotten),
            Z80_OK);
  ASSERT_EQ(Z80_Start(forgotten), Z80_OK);
  EXPECT_EQ(Z80_Destroy(&cpu), Z80_OK);
}

}  // namespace
