// Emulated frames per second, headless, for a program that keeps the
// processor busy and writes screen memory and the border every frame, and
// for the free ROM waiting at its BASIC prompt (what every frame at the real
// speed costs while nothing happens). Each figure with its multiple of the
// real speed of 50 frames a second.
#include <benchmark/benchmark.h>

#include <pthread.h>
#include <unistd.h>
#include <time.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <thread>
#include <vector>

#include "machine/hardware.h"

namespace {

std::unique_ptr<TZXHardware> BusyMachine() {
  TAYHardware::SetPluginPathForTesting("/nonexistent/libkelvora.so");
  auto m = std::make_unique<TZXHardware>();
  std::ifstream in(BENCH_PROGRAM, std::ios::binary);
  std::vector<uint8_t> program((std::istreambuf_iterator<char>(in)), {});
  for (size_t i = 0; i < program.size(); ++i) m->RamPages[2][i] = program[i];  // at #8000
  m->Cpu().PC = 0x8000;
  return m;
}

constexpr const char* kRom48 = "/usr/share/spectrum-roms/opense.rom";
constexpr const char* kRom128 = "/usr/share/spectrum-roms/opense-stub.rom";

// The free ROMs in the 128 and 48 slots, run on to the BASIC prompt.
std::unique_ptr<TZXHardware> IdleMachine() {
  TAYHardware::SetPluginPathForTesting("/nonexistent/libkelvora.so");
  auto m = std::make_unique<TZXHardware>();
  m->RomFileSpecs = {kRom128, kRom48, "", ""};
  m->LoadRoms();
  m->Cpu().Req.ResetPending.store(1);
  for (int frame = 0; frame < 150; ++frame) {
    const uint64_t target = m->GlobalTact + m->Timing.timeLoopTime;
    while (m->GlobalTact < target) m->StepCpu();
  }
  return m;
}

// One frame per iteration, stepped on this thread as the debugger would.
void BM_FramesStepped(benchmark::State& state) {
  auto m = BusyMachine();
  for (auto _ : state) {
    const uint64_t target = m->GlobalTact + m->Timing.timeLoopTime;
    while (m->GlobalTact < target) m->StepCpu();
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["frames/s"] = benchmark::Counter(double(state.iterations()),
                                                  benchmark::Counter::kIsRate);
}
BENCHMARK(BM_FramesStepped)->Unit(benchmark::kMicrosecond);

double ThreadCpuSeconds(std::thread& thread) {
  clockid_t clock;
  timespec ts{};
  if (pthread_getcpuclockid(thread.native_handle(), &clock) != 0) return 0;
  clock_gettime(clock, &ts);
  return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

// The processor's own run thread, as the program runs it: frames counted
// from the T-states it covers in a fixed stretch, per second of wall time
// and per second of the run thread's own processor time (which a loaded
// host does not distort).
void FramesOnRunThread(benchmark::State& state, TZXHardware& m) {
  double frames = 0, seconds = 0, cpuSeconds = 0;
  for (auto _ : state) {
    const uint64_t before = m.GlobalTact;
    const auto t0 = std::chrono::steady_clock::now();
    m.StartCpu();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const double cpu = ThreadCpuSeconds(m.CpuHandle.ThreadHandle);
    m.StopCpu();
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    cpuSeconds += cpu;
    frames += double(m.GlobalTact - before) / m.Timing.timeLoopTime;
  }
  state.counters["frames/s"] = frames / seconds;
  state.counters["x_real_time"] = frames / seconds / 50;
  if (cpuSeconds > 0) {
    state.counters["frames/cpu-s"] = frames / cpuSeconds;
    state.counters["x_real_time_cpu"] = frames / cpuSeconds / 50;
  }
}

void BM_FramesRunThread(benchmark::State& state) { FramesOnRunThread(state, *BusyMachine()); }
BENCHMARK(BM_FramesRunThread)->Unit(benchmark::kMillisecond)->Iterations(5);

// The BASIC prompt: the share of a core that 50 of these frames a second
// take is 5000 / frames per processor second, in per cent.
void BM_BasicPromptRunThread(benchmark::State& state) {
  if (access(kRom48, R_OK) != 0 || access(kRom128, R_OK) != 0) {
    state.SkipWithError("the opense-basic ROMs are not installed");
    return;
  }
  FramesOnRunThread(state, *IdleMachine());
}
BENCHMARK(BM_BasicPromptRunThread)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
