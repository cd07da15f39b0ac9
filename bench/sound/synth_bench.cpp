// One second of emulated sound through the plug-in's whole path (events,
// frame detection, synthesis, mixing): 50 frames of a busy AY tune (three
// tones, noise, the envelope, a player rewriting the registers every frame)
// over a beeper toggling every 150 T-states. The time per iteration, divided
// by one second, is the share of one core the sound costs.
#include <benchmark/benchmark.h>

#include "sound/engine.h"

namespace {

class Discard : public kelvora::AudioOutput {
 public:
  int Rate() const override { return 48000; }
  int Queued() override { return -1; }
  void Write(const int16_t*, int) override {}
};

void OneSecond(kelvora::Engine& engine, int64_t& now, int& frame) {
  constexpr int32_t kFrame = 71680;
  for (int f = 0; f < 50; ++f, ++frame) {
    for (int c = 0; c < 4; ++c) engine.FrameLoop();  // the INT window
    const int32_t base = 40;
    const int period = 100 + (frame % 50);
    const uint8_t regs[14] = {static_cast<uint8_t>(period), 0, 0x37, 1, 0xF0, 0, 7, 0x30,
                              15, 12, 0x10, static_cast<uint8_t>(40 + frame % 8), 0, 14};
    for (int r = 0; r < 14; ++r) engine.SetAYRegister(base + 12 * r, r, regs[r]);
    for (int32_t t = 400; t < kFrame; t += 150) engine.SetSpeakerState(t, (t / 150) & 1 ? 0x10 : 0);
    now += 20000;
  }
}

void BM_OneSecondOfAYAndBeeper(benchmark::State& state) {
  int64_t now = 0;
  int frame = 0;
  kelvora::Engine engine(std::make_unique<Discard>(), [&] { return now; });
  engine.Initialize(71680);
  engine.SetMode(3);
  for (auto _ : state) OneSecond(engine, now, frame);
  // Seconds of CPU per second of audio, in percent: 100 * time / iterations.
  state.counters["core_share_pct"] = benchmark::Counter(
      0.01, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_OneSecondOfAYAndBeeper)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
