// Emulated T-states per second of the core on a long mixed instruction
// stream, driven through the state's bus callbacks exactly as the run thread
// drives it. When the z80ex library is installed, the same program runs
// through it with equivalent callbacks and the ratio is printed.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "mixed_program.h"
#include "z80/z80.h"
#include "z80/z80_core.h"

#if OVRIN_HAVE_Z80EX
#include <z80ex/z80ex.h>
#endif

namespace {

constexpr uint64_t kBudget = 200'000'000;  // T-states per run (about 57 s of a 3.5 MHz Z80)
constexpr int kRuns = 7;

struct Machine {
  uint8_t memory[65536];
  uint32_t portSink = 0;
  void Reset() {
    std::memset(memory, 0, sizeof memory);
    std::memcpy(memory, kMixedProgram, sizeof kMixedProgram);
  }
};

template <typename Run>
double Rate(Run run) {
  const auto t0 = std::chrono::steady_clock::now();
  const uint64_t ticks = run();
  const std::chrono::duration<double> dt = std::chrono::steady_clock::now() - t0;
  return static_cast<double>(ticks) / dt.count();
}

// ---- ours ----
uint8_t Fetch(uint32_t a, void* u) { return static_cast<Machine*>(u)->memory[a & 0xFFFF]; }
void Write(uint32_t a, uint8_t v, void* u) { static_cast<Machine*>(u)->memory[a & 0xFFFF] = v; }
uint8_t In(uint32_t, void*) { return 0xBF; }
void Out(uint32_t, uint8_t v, void* u) { static_cast<Machine*>(u)->portSink += v; }
void IntCheck(void*) {}

// A processor state wired to the test machine's callbacks.
void WireState(TZ80State& s, Machine& m) {
  s.UserData = &m;
  s.OnFetch = Fetch;
  s.OnRead = Fetch;
  s.OnWrite = Write;
  s.OnPortIn = In;
  s.OnPortOut = Out;
  s.OnIntCheck = IntCheck;
}

uint64_t RunOurs(Machine& m) {
  m.Reset();
  TZ80State s{};
  WireState(s, m);
  uint64_t total = 0;
  while (total < kBudget) {
    z80::Z80Step(s);
    total += s.Req.Ticks;
  }
  return total;
}

#if OVRIN_HAVE_Z80EX
Z80EX_BYTE ExRead(Z80EX_CONTEXT*, Z80EX_WORD a, int, void* u) {
  return static_cast<Machine*>(u)->memory[a];
}
void ExWrite(Z80EX_CONTEXT*, Z80EX_WORD a, Z80EX_BYTE v, void* u) {
  static_cast<Machine*>(u)->memory[a] = v;
}
Z80EX_BYTE ExIn(Z80EX_CONTEXT*, Z80EX_WORD, void*) { return 0xBF; }
void ExOut(Z80EX_CONTEXT*, Z80EX_WORD, Z80EX_BYTE v, void* u) {
  static_cast<Machine*>(u)->portSink += v;
}
Z80EX_BYTE ExIntRead(Z80EX_CONTEXT*, void*) { return 0xFF; }

// Same program, same number of T-states: the registers and memory must agree
// (both cores count the same T-states per instruction, so the totals meet at
// instruction boundaries).
bool CrossCheck() {
  static Machine a, b;
  a.Reset();
  b.Reset();
  TZ80State s{};
  WireState(s, a);
  uint64_t ours = 0;
  for (int i = 0; i < 1000000; ++i) {
    z80::Z80Step(s);
    ours += s.Req.Ticks;
  }
  Z80EX_CONTEXT* cpu = z80ex_create(ExRead, &b, ExWrite, &b, ExIn, &b, ExOut, &b, ExIntRead, &b);
  uint64_t theirs = 0;
  while (theirs < ours) theirs += static_cast<uint64_t>(z80ex_step(cpu));
  const bool same = theirs == ours && z80ex_get_reg(cpu, regPC) == s.PC &&
                    z80ex_get_reg(cpu, regAF) == s.AF && z80ex_get_reg(cpu, regBC) == s.BC &&
                    z80ex_get_reg(cpu, regDE) == s.DE && z80ex_get_reg(cpu, regHL) == s.HL &&
                    z80ex_get_reg(cpu, regIX) == s.IX && z80ex_get_reg(cpu, regIY) == s.IY &&
                    z80ex_get_reg(cpu, regSP) == s.SP &&
                    std::memcmp(a.memory, b.memory, sizeof a.memory) == 0;
  z80ex_destroy(cpu);
  return same;
}

uint64_t RunZ80ex(Machine& m) {
  m.Reset();
  Z80EX_CONTEXT* cpu = z80ex_create(ExRead, &m, ExWrite, &m, ExIn, &m, ExOut, &m, ExIntRead, &m);
  uint64_t total = 0;
  while (total < kBudget) total += static_cast<uint64_t>(z80ex_step(cpu));
  z80ex_destroy(cpu);
  return total;
}
#endif

}  // namespace

int main() {
  static Machine machine;
#if OVRIN_HAVE_Z80EX
  std::printf("cross-check after 1,000,000 instructions: %s\n",
              CrossCheck() ? "same registers, memory and T-states" : "DIFFERENT");
#endif
  // Alternate the cores run by run so that a busy host slows both alike;
  // keep the best run of each.
  double ours = 0, theirs = 0;
  for (int i = 0; i < kRuns; ++i) {
    ours = std::max(ours, Rate([] { return RunOurs(machine); }));
#if OVRIN_HAVE_Z80EX
    theirs = std::max(theirs, Rate([] { return RunZ80ex(machine); }));
#endif
  }
  std::printf("ovrin core: %8.1f M T-states/s (%.0fx a 3.5 MHz Z80)\n", ours / 1e6, ours / 3.5e6);
#if OVRIN_HAVE_Z80EX
  std::printf("z80ex:      %8.1f M T-states/s\n", theirs / 1e6);
  std::printf("ratio ovrin/z80ex: %.2f\n", ours / theirs);
#else
  (void)theirs;
  std::printf("z80ex not installed: no comparison\n");
#endif
  return machine.portSink == 0xFFFFFFFF;  // keeps the port writes observable
}
