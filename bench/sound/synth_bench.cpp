// One second of emulated sound through the plug-in's whole path (events,
// frame detection, synthesis, mixing). The time per iteration, divided by one
// second, is the share of one core the sound costs:
//  - a busy AY tune (three tones, noise, the envelope, a player rewriting the
//    registers every frame) over a beeper toggling every 150 T-states;
//  - a chip playing three steady tones;
//  - a silent chip: every register 0, as after a reset (the BASIC prompt);
//  - a silenced chip: tones, noise and a running envelope set up, every
//    volume 0.
// A silent chip should cost at most a tenth of the three tones.
#include <benchmark/benchmark.h>

#include <functional>

#include "sound/engine.h"

namespace {

class Discard : public kelvora::AudioOutput {
 public:
  int Rate() const override { return 48000; }
  int Queued() override { return -1; }
  void Write(const int16_t*, int) override {}
};

constexpr int32_t kFrame = 71680;

// The frame's writes, given the frame's number.
using FrameWrites = std::function<void(kelvora::Engine&, int)>;

void OneSecondOf(benchmark::State& state, const FrameWrites& writes) {
  int64_t now = 0;
  int frame = 0;
  kelvora::Engine engine(std::make_unique<Discard>(), [&] { return now; });
  engine.Initialize(kFrame);
  engine.SetMode(3);
  for (auto _ : state) {
    for (int f = 0; f < 50; ++f, ++frame) {
      for (int c = 0; c < 4; ++c) engine.FrameLoop();  // the INT window
      writes(engine, frame);
      now += 20000;
    }
  }
  // Seconds of CPU per second of audio, in percent: 100 * time / iterations.
  state.counters["core_share_pct"] = benchmark::Counter(
      0.01, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void SetRegisters(kelvora::Engine& engine, int frame, const uint8_t (&regs)[14]) {
  if (frame != 0) return;
  for (int r = 0; r < 14; ++r) engine.SetAYRegister(40 + 12 * r, r, regs[r]);
}

void BM_OneSecondOfAYAndBeeper(benchmark::State& state) {
  OneSecondOf(state, [](kelvora::Engine& engine, int frame) {
    const int period = 100 + (frame % 50);
    const uint8_t regs[14] = {static_cast<uint8_t>(period), 0, 0x37, 1, 0xF0, 0, 7, 0x30,
                              15, 12, 0x10, static_cast<uint8_t>(40 + frame % 8), 0, 14};
    for (int r = 0; r < 14; ++r) engine.SetAYRegister(40 + 12 * r, r, regs[r]);
    for (int32_t t = 400; t < kFrame; t += 150) engine.SetSpeakerState(t, (t / 150) & 1 ? 0x10 : 0);
  });
}
BENCHMARK(BM_OneSecondOfAYAndBeeper)->Unit(benchmark::kMillisecond);

void BM_OneSecondOfThreeTones(benchmark::State& state) {
  OneSecondOf(state, [](kelvora::Engine& engine, int frame) {
    SetRegisters(engine, frame, {200, 0, 251, 0, 0x2C, 1, 0, 0x38, 15, 13, 11, 0, 0, 0});
  });
}
BENCHMARK(BM_OneSecondOfThreeTones)->Unit(benchmark::kMillisecond);

void BM_OneSecondOfSilentChip(benchmark::State& state) {
  OneSecondOf(state, [](kelvora::Engine&, int) {});
}
BENCHMARK(BM_OneSecondOfSilentChip)->Unit(benchmark::kMillisecond);

void BM_OneSecondOfSilencedChip(benchmark::State& state) {
  OneSecondOf(state, [](kelvora::Engine& engine, int frame) {
    SetRegisters(engine, frame, {100, 0, 200, 0, 50, 1, 7, 0, 0, 0, 0, 30, 0, 14});
  });
}
BENCHMARK(BM_OneSecondOfSilencedChip)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
