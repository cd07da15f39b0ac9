// Emulated T-states per second of the core on a long mixed instruction
// stream, driven one step at a time through the library's public step call
// (Z80_ExecCycle), as a debugger or a host without the run thread drives it.
// When the z80ex library is installed, the same program runs through its
// public step call (z80ex_step) with the same callbacks and the ratio is
// printed in the same run.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <vector>

#include "mixed_program.h"
#include "z80/z80.h"

#if OVRIN_HAVE_Z80EX
#include <z80ex/z80ex.h>
#endif

namespace {

// T-states per run (about 57 s of a 3.5 MHz Z80) and runs of each core;
// both can be given on the command line (a short single run for a profiler),
// and a third argument, "ovrin" or "z80ex", runs that core alone.
uint64_t kBudget = 200'000'000;
int kRuns = 7;
bool kRunOurs = true, kRunTheirs = true;

// The memory and ports both cores see. Each core's callbacks only adapt
// their signature to these.
struct Machine {
  uint8_t memory[65536];
  uint32_t portSink = 0;
  void Reset() {
    std::memset(memory, 0, sizeof memory);
    std::memcpy(memory, kMixedProgram, sizeof kMixedProgram);
  }
  uint8_t Read(uint16_t a) const { return memory[a]; }
  void Write(uint16_t a, uint8_t v) { memory[a] = v; }
  static uint8_t In(uint16_t) { return 0xBF; }
  void Out(uint16_t, uint8_t v) { portSink += v; }
};
inline Machine& Of(void* u) { return *static_cast<Machine*>(u); }

template <typename Run>
double Rate(Run run) {
  const auto t0 = std::chrono::steady_clock::now();
  const uint64_t ticks = run();
  const std::chrono::duration<double> dt = std::chrono::steady_clock::now() - t0;
  return static_cast<double>(ticks) / dt.count();
}

// ---- ours ----
uint8_t Fetch(uint32_t a, void* u) { return Of(u).Read(static_cast<uint16_t>(a)); }
void Write(uint32_t a, uint8_t v, void* u) { Of(u).Write(static_cast<uint16_t>(a), v); }
uint8_t In(uint32_t p, void*) { return Machine::In(static_cast<uint16_t>(p)); }
void Out(uint32_t p, uint8_t v, void* u) { Of(u).Out(static_cast<uint16_t>(p), v); }
void IntCheck(void*) {}

// A library instance over the test machine, destroyed with this object. It
// keeps the state record's address, as a host does: the record stays put
// for the instance's life.
struct Instance {
  TZ80Object object;
  TZ80State* state = nullptr;
  explicit Instance(Machine& m) {
    Z80_Create("bench", Fetch, Fetch, Write, In, Out, IntCheck, nullptr, nullptr, &m, &object);
    state = object.State;
  }
  ~Instance() { Z80_Destroy(&object); }
  // One public step; its T-states.
  uint32_t Step() {
    Z80_ExecCycle(&object);
    return state->Req.Ticks;
  }
};

uint64_t RunOurs(Machine& m) {
  m.Reset();
  Instance cpu(m);
  // Both addresses in locals the library cannot reach, as the z80ex loop
  // holds its context: they stay at hand through the calls, where the
  // members of cpu (whose address the library has) were loaded again after
  // every step.
  TZ80Object* const object = &cpu.object;
  const TZ80State* const state = cpu.state;
  uint64_t total = 0;
  while (total < kBudget) {
    Z80_ExecCycle(object);
    total += state->Req.Ticks;
  }
  return total;
}

#if OVRIN_HAVE_Z80EX
Z80EX_BYTE ExRead(Z80EX_CONTEXT*, Z80EX_WORD a, int, void* u) { return Of(u).Read(a); }
void ExWrite(Z80EX_CONTEXT*, Z80EX_WORD a, Z80EX_BYTE v, void* u) { Of(u).Write(a, v); }
Z80EX_BYTE ExIn(Z80EX_CONTEXT*, Z80EX_WORD p, void*) { return Machine::In(p); }
void ExOut(Z80EX_CONTEXT*, Z80EX_WORD p, Z80EX_BYTE v, void* u) { Of(u).Out(p, v); }
Z80EX_BYTE ExIntRead(Z80EX_CONTEXT*, void*) { return 0xFF; }

Z80EX_CONTEXT* CreateZ80ex(Machine& m) {
  return z80ex_create(ExRead, &m, ExWrite, &m, ExIn, &m, ExOut, &m, ExIntRead, &m);
}

// Same program, same number of T-states: the registers and memory must agree
// (both cores count the same T-states per instruction, so the totals meet at
// instruction boundaries).
bool CrossCheck() {
  static Machine a, b;
  a.Reset();
  b.Reset();
  Instance ours(a);
  uint64_t oursTicks = 0;
  for (int i = 0; i < 1000000; ++i) oursTicks += ours.Step();
  const TZ80State& s = *ours.object.State;
  Z80EX_CONTEXT* cpu = CreateZ80ex(b);
  uint64_t theirs = 0;
  while (theirs < oursTicks) theirs += static_cast<uint64_t>(z80ex_step(cpu));
  const bool same = theirs == oursTicks && z80ex_get_reg(cpu, regPC) == s.PC &&
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
  Z80EX_CONTEXT* cpu = CreateZ80ex(m);
  uint64_t total = 0;
  while (total < kBudget) total += static_cast<uint64_t>(z80ex_step(cpu));
  z80ex_destroy(cpu);
  return total;
}
#endif

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) kBudget = std::strtoull(argv[1], nullptr, 10);
  if (argc > 2) kRuns = std::max(1, std::atoi(argv[2]));
  if (argc > 3) {
    kRunOurs = std::strcmp(argv[3], "z80ex") != 0;
    kRunTheirs = std::strcmp(argv[3], "ovrin") != 0;
  }
  static Machine machine;
#if OVRIN_HAVE_Z80EX
  std::printf("cross-check after 1,000,000 instructions: %s\n",
              CrossCheck() ? "same registers, memory and T-states" : "DIFFERENT");
#endif
  // Alternate the cores run by run so that a busy host slows both alike;
  // keep the best run of each.
  double ours = 0, theirs = 0;
  std::vector<double> pairRatios;
  for (int i = 0; i < kRuns; ++i) {
    double o = 0, z = 0;
    if (kRunOurs) ours = std::max(ours, o = Rate([] { return RunOurs(machine); }));
#if OVRIN_HAVE_Z80EX
    if (kRunTheirs) theirs = std::max(theirs, z = Rate([] { return RunZ80ex(machine); }));
#endif
    if (o > 0 && z > 0) pairRatios.push_back(o / z);
  }
  std::printf("ovrin core (Z80_ExecCycle): %8.1f M T-states/s (%.0fx a 3.5 MHz Z80)\n", ours / 1e6, ours / 3.5e6);
#if OVRIN_HAVE_Z80EX
  std::printf("z80ex (z80ex_step):         %8.1f M T-states/s\n", theirs / 1e6);
  std::printf("ratio ovrin/z80ex: %.2f\n", ours / theirs);
  // How far one run's ratio strays from the next: on a shared host a
  // single pair can read a tenth either way.
  if (pairRatios.size() > 1) {
    std::sort(pairRatios.begin(), pairRatios.end());
    std::printf("ratio run by run: lowest %.2f, median %.2f, highest %.2f\n", pairRatios.front(),
                pairRatios[pairRatios.size() / 2], pairRatios.back());
  }
#else
  (void)theirs;
  std::printf("z80ex not installed: no comparison\n");
#endif
  Z80_Shutdown();
  return machine.portSink == 0xFFFFFFFF;  // keeps the port writes observable
}
