// A host that leaves its processor running when it ends, its record a
// static ("static") or a local of main ("stack"): exits 0 when nothing
// aborts on the way out. With "exit-in-callback" after either, the program
// counts down and ends as a test runner's does, with OUT (#55),A, on which
// OnPortOut calls exit() with A (7) from the run thread ("heap" too).
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "z80/z80.h"

namespace {

uint8_t g_memory[65536];
std::atomic<long> g_steps{0};

uint8_t Read(uint32_t a, void*) { return g_memory[a & 0xFFFF]; }
void Write(uint32_t a, uint8_t v, void*) { g_memory[a & 0xFFFF] = v; }
uint8_t In(uint32_t, void*) { return 0xFF; }
void Out(uint32_t port, uint8_t value, void*) {
  if ((port & 0xFF) == 0x55) std::exit(value);
}
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

// Runs until the program's OUT ends the process.
[[noreturn]] void ExitFromTheRunThread(TZ80Object& object) {
  // LD B,10 / DJNZ $ / LD A,7 / OUT (#55),A / JR $
  const uint8_t program[] = {0x06, 0x0A, 0x10, 0xFE, 0x3E, 0x07, 0xD3, 0x55, 0x18, 0xFE};
  std::memcpy(g_memory, program, sizeof program);
  if (Z80_Create("exit", Read, Read, Write, In, Out, IntCheck, AfterStep, nullptr, nullptr,
                 &object) != Z80_OK ||
      Z80_Start(&object) != Z80_OK)
    std::exit(2);
  for (;;) pause();
}

}  // namespace

int main(int argc, char** argv) {
  const char* mode = argc > 1 ? argv[1] : "";
  const std::string exitMode = mode;
  if (exitMode == "static-exit-in-callback") ExitFromTheRunThread(g_static);
  if (exitMode == "heap-exit-in-callback") ExitFromTheRunThread(*new TZ80Object);
  if (exitMode == "stack-exit-in-callback") {
    TZ80Object local;
    ExitFromTheRunThread(local);
  }
  if (std::strcmp(mode, "static") == 0) return StartRunning(g_static) ? 0 : 2;
  if (std::strcmp(mode, "stack") == 0) {
    TZ80Object local;
    return StartRunning(local) ? 0 : 2;
  }
  std::fprintf(stderr, "usage: %s static|stack[-exit-in-callback]|heap-exit-in-callback\n",
               argv[0]);
  return 2;
}
