// The plug-in's behaviour towards the host, with an injected clock and a
// capturing output: frames told apart however often the frame routine is
// called, stamps clamped, the mode kept across re-initialisations, the
// queue steered, and calls from several threads.
#include "sound/engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <random>
#include <thread>
#include <vector>

#include "sound/audio_analysis.h"
#include "sound/sdl_output.h"

namespace {

using kelvora::AudioOutput;
using kelvora::Engine;
using namespace sound_test;

constexpr int kRate = 48000;
constexpr int kPerFrame = kRate / 50;

// Takes everything; Queued() reports a fill the test sets (-1: a file).
class CaptureOutput : public AudioOutput {
 public:
  explicit CaptureOutput(std::vector<int16_t>* sink, int* fill = nullptr) : sink_(sink), fill_(fill) {}
  int Rate() const override { return kRate; }
  int Queued() override { return fill_ ? *fill_ : -1; }
  void Write(const int16_t* stereo, int samples) override {
    sink_->insert(sink_->end(), stereo, stereo + 2 * samples);
    if (fill_) *fill_ += samples;
  }

 private:
  std::vector<int16_t>* sink_;
  int* fill_;
};

struct Host {
  std::vector<int16_t> audio;
  int64_t now = 0;
  Engine engine{std::make_unique<CaptureOutput>(&audio), [this] { return now; }};
};

// Drives the engine the way the machine does: per frame, the frame routine
// `calls` times at the start of the INT window (one instruction apart), then
// the frame's events; the clock advances frameMicros per frame.
void RunFrames(Host& h, uint32_t frameLength, int frames, int calls, int64_t frameMicros,
               bool beeper) {
  for (int f = 0; f < frames; ++f) {
    const int64_t start = h.now;
    for (int c = 0; c < calls; ++c) {
      if (beeper && c == 1) h.engine.SetSpeakerState(4 * c, (f & 1) ? 0x10 : 0);  // inside the window
      h.engine.FrameLoop();
      h.now += 2;
    }
    if (beeper)
      for (uint32_t t = 1000; t < frameLength; t += 5000)
        h.engine.SetSpeakerState(static_cast<int32_t>(t), (t / 5000) & 1 ? 0x10 : 0);
    h.now = start + frameMicros;
  }
}

TEST(Engine, OneFrameOfAudioPerEmulatedFrame) {
  struct Case {
    int calls;
    int64_t frameMicros;
    bool beeper;
  } cases[] = {
      {0, 20000, true},  {1, 20000, true},  {3, 20000, true},  {8, 20000, true},
      {1, 20000, false}, {3, 20000, false}, {8, 20000, false},
      // Far faster than real time: the stamps still tell the frames apart.
      {1, 300, true},    {3, 300, true},    {8, 300, true},    {0, 300, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.calls << " calls, " << c.frameMicros << " us, beeper "
                                    << c.beeper);
    for (uint32_t frameLength : {71680u, 69888u}) {
      Host h;
      ASSERT_EQ(h.engine.Initialize(static_cast<int32_t>(frameLength)), 0);
      h.engine.SetMode(3);
      RunFrames(h, frameLength, 40, c.calls, c.frameMicros, c.beeper);
      // The last frame is still open: it ends with the next one's start.
      EXPECT_EQ(h.engine.FramesRendered(), 39u);
      EXPECT_EQ(h.audio.size(), 39u * kPerFrame * 2);
    }
  }
}

TEST(Engine, StampsAreClampedAndRepeatsStayInTheFrame) {
  Host h;
  h.engine.Initialize(71680);
  h.engine.SetMode(2);
  h.engine.SetSpeakerState(-50, 0x10);       // before the frame: its start
  h.engine.SetSpeakerState(500, 0);
  for (int i = 0; i < 16; ++i) h.engine.SetAYRegister(500, i, 0);  // a reset while stopped
  h.engine.Initialize(69888);                // the frame was shortened meanwhile
  h.engine.SetSpeakerState(70500, 0x10);     // past the new length: its last T-state
  h.engine.SetSpeakerState(71000, 0);
  EXPECT_EQ(h.engine.FramesRendered(), 0u);
  h.engine.SetSpeakerState(600, 0x10);       // wrapped: a new frame
  EXPECT_EQ(h.engine.FramesRendered(), 1u);
  EXPECT_EQ(h.audio.size(), 2u * kPerFrame);
}

TEST(Engine, CallsOutsideInitialisationDoNothing) {
  Host h;
  EXPECT_NE(h.engine.SetMode(3), 0);
  EXPECT_NE(h.engine.SetSpeakerState(10, 0x10), 0);
  EXPECT_NE(h.engine.SetAYRegister(10, 8, 15), 0);
  EXPECT_NE(h.engine.FrameLoop(), 0);
  EXPECT_NE(h.engine.Destroy(), 0);
  EXPECT_NE(h.engine.Initialize(0), 0);
  EXPECT_NE(h.engine.Initialize(-5), 0);
  EXPECT_FALSE(h.engine.Initialised());
  ASSERT_EQ(h.engine.Initialize(71680), 0);
  EXPECT_NE(h.engine.SetAYRegister(10, 16, 15), 0);
  h.engine.Destroy();
  EXPECT_NE(h.engine.FrameLoop(), 0);
  EXPECT_EQ(h.engine.FramesRendered(), 0u);
}

TEST(Engine, ModeAndChipSurviveReinitialisation) {
  Host h;
  h.engine.Initialize(71680);
  h.engine.SetMode(1);
  h.engine.SetAYRegister(0, 0, 100);
  h.engine.SetAYRegister(0, 7, 0x3E);
  h.engine.SetAYRegister(0, 8, 15);
  // The host's start-up: several destroy/initialise pairs, nothing resent.
  for (int i = 0; i < 6; ++i) {
    h.engine.Destroy();
    h.engine.Initialize(i & 1 ? 69888 : 71680);
  }
  h.engine.Destroy();
  h.engine.Initialize(71680);
  RunFrames(h, 71680, 30, 1, 20000, false);
  ASSERT_EQ(h.audio.size(), 29u * kPerFrame * 2);
  auto left = Channel(h.audio, 0);
  EXPECT_NEAR(FrequencyByCrossings(left, kRate, kPerFrame), 71680 * 25.0 / 1600, 5.0);
}

TEST(Engine, QueueIsSteeredByStretchingFramesAndBoundedByDropping) {
  std::vector<int16_t> audio;
  int fill = 0;
  int64_t now = 0;
  Engine engine(std::make_unique<CaptureOutput>(&audio, &fill), [&] { return now; });
  engine.Initialize(71680);
  auto frame = [&] {
    engine.FrameLoop();
    now += 20000;
  };
  frame();
  // An empty queue: frames come out a little longer, never more than 0.5 %.
  for (int i = 0; i < 20; ++i) {
    fill = 0;
    frame();
    EXPECT_GT(engine.LastRateFactor(), 1.0);
    EXPECT_LE(engine.LastRateFactor(), 1.005 + 1e-12);
  }
  // A queue above its target: a little shorter.
  const int target = static_cast<int>(kRate * Engine::kTargetFillSeconds);
  for (int i = 0; i < 60; ++i) {
    fill = target + 300;
    frame();
  }
  EXPECT_LT(engine.LastRateFactor(), 1.0);
  EXPECT_GE(engine.LastRateFactor(), 0.995 - 1e-12);
  EXPECT_EQ(engine.FramesDropped(), 0u);
  // The machine runs ahead of real time: whole frames are dropped at the bound.
  const size_t before = audio.size();
  fill = static_cast<int>(kRate * Engine::kMaxFillSeconds);
  frame();
  EXPECT_EQ(engine.FramesDropped(), 1u);
  EXPECT_EQ(audio.size(), before);
}

// Run thread, GUI thread (re-initialisations, mode, settings) and a third
// caller all at once. Labelled "threads" for ThreadSanitizer.
TEST(EngineThreads, CallsFromSeveralThreadsAreSerialised) {
  std::vector<int16_t> audio;
  Engine engine(std::make_unique<CaptureOutput>(&audio));
  engine.Initialize(71680);
  std::atomic<bool> stop{false};
  std::thread run([&] {
    for (int f = 0; !stop.load(); ++f) {
      engine.FrameLoop();
      for (int t = 100; t < 71680; t += 3000) {
        engine.SetSpeakerState(t, (t / 3000) & 1 ? 0x10 : 0);
        engine.SetAYRegister(t, t & 15, f & 0xFF);
      }
    }
  });
  std::thread other([&] {
    while (!stop.load()) {
      engine.SetAYRegister(5, 8, 15);
      engine.FramesRendered();
    }
  });
  // Keep going until the run thread has had its share of frames.
  for (int i = 0; i < 2000 || (engine.FramesRendered() < 20 && i < 10'000'000); ++i) {
    engine.Destroy();
    engine.Initialize(i & 1 ? 69888 : 71680);
    engine.SetMode(i & 3);
    engine.ApplySettings({i % 101, i & 1 ? kelvora::StereoMode::kABC : kelvora::StereoMode::kMono});
  }
  stop = true;
  run.join();
  other.join();
  EXPECT_TRUE(engine.Initialised());
  EXPECT_GE(engine.FramesRendered(), 20u);
}

}  // namespace

// An audio device on its own clock: it takes kSdlDevicePeriod samples from
// the queue at a time, once a period, and starts, like the SDL output, once
// the queue holds the engine's target.
class ClockedDevice : public AudioOutput {
 public:
  explicit ClockedDevice(const int64_t* now, int* runDry) : now_(now), runDry_(runDry) {}
  int Rate() const override { return kRate; }
  int Queued() override {
    for (; playing_ && NextRead() <= *now_; ++reads_) {
      if (level_ < kelvora::kSdlDevicePeriod) ++*runDry_;
      level_ = std::max(0, level_ - kelvora::kSdlDevicePeriod);
    }
    return level_;
  }
  void Write(const int16_t*, int samples) override {
    level_ += samples;
    if (!playing_ && level_ >= kRate * Engine::kTargetFillSeconds) playing_ = true, start_ = *now_;
  }

 private:
  int64_t NextRead() const { return start_ + reads_ * kelvora::kSdlDevicePeriod * 1000000 / kRate; }

  const int64_t* now_;
  int* runDry_;
  bool playing_ = false;
  int64_t start_ = 0;
  int64_t reads_ = 0;
  int level_ = 0;
};

// A minute of frames ending late or early by a random few milliseconds each,
// on a machine clock a little off the device's: once the queue has settled,
// no frame is dropped and the device never runs dry.
TEST(Engine, QueueRidesOutTheDevicePeriodAndFrameJitter) {
  struct Case {
    double clockError;  // the machine's frame clock against the device's
    int jitterMicros;   // each frame's end, early or late by up to this
  };
  for (const Case c : {Case{0, 0}, Case{0, 4000}, Case{+0.003, 4000}, Case{-0.003, 4000}}) {
    SCOPED_TRACE(testing::Message() << "clock error " << c.clockError << ", jitter " << c.jitterMicros);
    int64_t now = 0;
    int runDry = 0;
    Engine engine(std::make_unique<ClockedDevice>(&now, &runDry), [&] { return now; });
    engine.Initialize(71680);
    std::mt19937 random(7);
    std::uniform_int_distribution<int> jitter(-c.jitterMicros, c.jitterMicros);
    uint64_t droppedSettling = 0;
    int runDrySettling = 0;
    for (int f = 0; f < 3100; ++f) {
      if (f == 100) droppedSettling = engine.FramesDropped(), runDrySettling = runDry;
      now = static_cast<int64_t>(f * 20000 * (1 + c.clockError)) + jitter(random);
      engine.FrameLoop();
    }
    EXPECT_EQ(engine.FramesDropped(), droppedSettling);
    EXPECT_EQ(runDry, runDrySettling);
  }
}
