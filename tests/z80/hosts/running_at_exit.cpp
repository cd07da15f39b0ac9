// A host that leaves its processor running when it ends, its record a
// static ("static") or a local of main ("stack"). Exits 0 when nothing
// aborts on the way out.
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "z80/z80.h"

namespace {

uint8_t g_memory[65536];
std::atomic<long> g_steps{0};

uint8_t Read(uint32_t a, void*) { return g_memory[a & 0xFFFF]; }
void Write(uint32_t a, uint8_t v, void*) { g_memory[a & 0xFFFF] = v; }
uint8_t In(uint32_t, void*) { return 0xFF; }
void Out(uint32_t, uint8_t, void*) {}
void IntCheck(void*) {}
void AfterStep(uint32_t, void*) { g_steps.fetch_add(1, std::memory_order_relaxed); }

TZ80Object g_static;

bool StartRunning(TZ80Object& object) {
  g_memory[0] = 0x18;  // JR $
  g_memory[1] = 0xFE;
  if (Z80_Create("at exit", Read, Read, Write, In, Out, IntCheck, AfterStep, nullptr, nullptr,
             &object) != Z80_OK)
    return false;
  if (Z80_Start(&object) != Z80_OK) return false;
  // Returns once the thread is stepping, so it is mid-run at exit.
  while (g_steps.load() < 1000) {
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const char* mode = argc > 1 ? argv[1] : "";
  if (std::strcmp(mode, "static") == 0) return StartRunning(g_static) ? 0 : 2;
  if (std::strcmp(mode, "stack") == 0) {
    TZ80Object local;
    return StartRunning(local) ? 0 : 2;
  }
  std::fprintf(stderr, "usage: %s static|stack\n", argv[0]);
  return 2;
}
