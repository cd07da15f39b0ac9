// What the synthesis produces, measured on its output: tone pitch against the
// AY clock, the mixer, the envelope shapes, the volume steps, beeper edges,
// and the absence of aliasing.
#include "sound/synth.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "sound/audio_analysis.h"
#include "sound/synth_events.h"

namespace {

using kelvora::SoundEvent;
using kelvora::StereoMode;
using kelvora::Synth;
using namespace sound_test;

constexpr int kRate = 48000;
constexpr int kPerFrame = kRate / 50;

Synth MakeSynth(StereoMode stereo, int mode = 1) {
  Synth s(kRate);
  s.SetStereo(stereo);
  s.SetVolume(1.0);
  s.SetMode(mode);
  return s;
}

double ToneFrequency(uint32_t frameLength, int period) {
  return frameLength * 50.0 / 2.0 / (16.0 * period);
}

TEST(Synth, TonePitchFollowsTheAYClock) {
  struct Case {
    uint32_t frameLength;
    int period;
  } cases[] = {{71680, 100}, {71680, 1000}, {71680, 4095}, {71680, 25},
               {71680, 8},   {69888, 100},  {69888, 0x123}, {35000, 300}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "frame " << c.frameLength << " period " << c.period);
    Synth s = MakeSynth(StereoMode::kABC);
    auto out = Render(s, c.frameLength,
                      {AY(0, 0, c.period & 0xFF), AY(0, 1, c.period >> 8), AY(0, 7, 0x3E), AY(0, 8, 15)},
                      100);
    const auto left = Channel(out, 0);
    const double expected = ToneFrequency(c.frameLength, c.period);
    EXPECT_NEAR(FrequencyByCrossings(left, kRate, kPerFrame), expected, expected * 0.005);
    EXPECT_LT(AcRms(Channel(out, 1)), 1.0) << "channel A belongs to the left only";
  }
}

TEST(Synth, MixerCombinesToneAndNoisePerChannel) {
  const double f = ToneFrequency(71680, 100);
  struct Case {
    uint8_t mixer;
    double minTonal, maxTonal;  // share of the AC power at the tone's frequency
    bool silentAc;
  } cases[] = {
      {0x3E, 0.6, 1.01, false},  // tone A only
      {0x37, 0.0, 0.02, false},  // noise A only
      {0x36, 0.1, 0.5, false},   // tone AND noise
      {0x3F, 0.0, 1.01, true},   // neither: a steady level
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "R7 #" << std::hex << int(c.mixer));
    Synth s = MakeSynth(StereoMode::kMono);
    auto x = Channel(Render(s, 71680,
                            {AY(0, 0, 100), AY(0, 6, 5), AY(0, 7, c.mixer), AY(0, 8, 15)}, 50),
                     0);
    const double ac = AcRms(x, kPerFrame);
    if (c.silentAc) {
      EXPECT_LT(ac, 1.0);
      EXPECT_GT(Mean(x, kPerFrame), 1000.0);
      continue;
    }
    ASSERT_GT(ac, 100.0);
    const double a = AmplitudeAt(x, f, kRate, kPerFrame);
    const double tonal = (a * a / 2) / (ac * ac);
    EXPECT_GE(tonal, c.minTonal);
    EXPECT_LE(tonal, c.maxTonal);
  }
}

TEST(Synth, ChannelsArePlacedABC) {
  struct Case {
    int channel;
    double left, right;  // share of a full channel on each side
  } cases[] = {{0, 1.0, 0.0}, {1, 0.5, 0.5}, {2, 0.0, 1.0}};
  for (const auto& c : cases) {
    Synth s = MakeSynth(StereoMode::kABC);
    auto out = Render(s, 71680, {AY(0, 7, 0x3F), AY(0, 8 + c.channel, 15)}, 5);
    const double l = Mean(Channel(out, 0), kPerFrame), r = Mean(Channel(out, 1), kPerFrame);
    const double full = std::max(l, r) / std::max(c.left, c.right);
    EXPECT_NEAR(l, full * c.left, 2.0) << "channel " << c.channel;
    EXPECT_NEAR(r, full * c.right, 2.0) << "channel " << c.channel;
  }
}

TEST(Synth, VolumeLevelsAreLogarithmic) {
  double level[16];
  for (int v = 0; v < 16; ++v) {
    Synth s = MakeSynth(StereoMode::kMono);
    level[v] = Mean(Channel(Render(s, 71680, {AY(0, 7, 0x3F), AY(0, 8, v)}, 3), 0), kPerFrame);
  }
  EXPECT_NEAR(level[0], 0.0, 0.5);
  for (int v = 2; v < 16; ++v) {
    const double db = 20 * std::log10(level[v] / level[v - 1]);
    EXPECT_NEAR(db, 3.0, 0.4) << "level " << v;
  }
  EXPECT_NEAR(20 * std::log10(level[15] / level[1]), 42.0, 1.0);
}

// The envelope shapes as the datasheet draws them, one letter per ramp of 16
// steps: D falls 15..0, U rises 0..15, L holds 0, H holds 15.
const char* const kShapes[16] = {"DLLL", "DLLL", "DLLL", "DLLL", "ULLL", "ULLL", "ULLL", "ULLL",
                                 "DDDD", "DLLL", "DUDU", "DHHH", "UUUU", "UHHH", "UDUD", "ULLL"};

int ExpectedEnvelopeLevel(int shape, int step) {
  const int s = step % 16;
  switch (kShapes[shape][step / 16]) {
    case 'D': return 15 - s;
    case 'U': return s;
    case 'H': return 15;
    default: return 0;
  }
}

TEST(Synth, EnvelopeShapesAndPeriod) {
  const int period = 200;            // R11/R12
  const double stepTacts = 16.0 * period * 2;  // 16 AY clocks per step per period unit, 2 T-states each
  const uint32_t start = 1000;
  const double perTact = static_cast<double>(kPerFrame) / 71680;
  // Reference levels read off a steady output.
  double reference[16];
  for (int v = 0; v < 16; ++v) {
    Synth s = MakeSynth(StereoMode::kMono);
    reference[v] = Mean(Channel(Render(s, 71680, {AY(0, 7, 0x3F), AY(0, 8, v)}, 2), 0), kPerFrame);
  }
  for (int shape = 0; shape < 16; ++shape) {
    Synth s = MakeSynth(StereoMode::kMono);
    auto x = Channel(Render(s, 71680,
                            {AY(0, 7, 0x3F), AY(0, 8, 0x10), AY(0, 11, period), AY(0, 12, 0),
                             AY(start, 13, shape)},
                            7),
                     0);
    for (int step = 0; step < 64; ++step) {
      const double tact = start + (step + 0.5) * stepTacts;
      const size_t i = static_cast<size_t>(tact * perTact + kelvora::BandLimitedBuffer::kDelay);
      ASSERT_LT(i, x.size());
      int nearest = 0;
      for (int v = 1; v < 16; ++v)
        if (std::abs(x[i] - reference[v]) < std::abs(x[i] - reference[nearest])) nearest = v;
      ASSERT_EQ(nearest, ExpectedEnvelopeLevel(shape, step)) << "shape " << shape << " step " << step;
    }
  }
}

TEST(Synth, BeeperEdgesLandOnTheirSamples) {
  for (uint32_t frameLength : {71680u, 69888u}) {
    Synth s = MakeSynth(StereoMode::kMono, 2);
    s.SetBeeperDcBlocking(false);
    std::vector<SoundEvent> events;
    std::vector<double> expected;
    uint32_t t = 777;
    int level = 0;
    while (t < 3 * frameLength) {
      level ^= 0x10;
      events.push_back(Speaker(t, level));
      const uint32_t frame = t / frameLength;
      expected.push_back(frame * kPerFrame + (t % frameLength) * (double(kPerFrame) / frameLength) +
                         kelvora::BandLimitedBuffer::kDelay);
      t += 2000 + (t % 7) * 37;  // uneven spacing
    }
    auto x = Channel(Render(s, frameLength, events, 4), 0);
    const double hi = *std::max_element(x.begin(), x.end());
    auto edges = MidCrossings(x, 0.0, hi);
    ASSERT_EQ(edges.size(), expected.size()) << "frame " << frameLength;
    for (size_t i = 0; i < edges.size(); ++i)
      EXPECT_NEAR(edges[i], expected[i], 1.0) << "edge " << i << " frame " << frameLength;
  }
}

TEST(Synth, BeeperRestingLevelIsBlocked) {
  Synth s = MakeSynth(StereoMode::kMono, 2);
  auto x = Channel(Render(s, 71680, {Speaker(100, 0x10)}, 100), 0);
  const double peak = *std::max_element(x.begin(), x.end());
  EXPECT_GT(peak, 5000.0);
  EXPECT_LT(std::abs(Mean(x, x.size() - kPerFrame)), peak * 0.01);
}

TEST(Synth, MutedOutputsStaySilentButKeepTheirState) {
  Synth s = MakeSynth(StereoMode::kMono, 0);
  auto quiet = Channel(Render(s, 71680, {AY(0, 7, 0x3E), AY(0, 0, 100), AY(0, 8, 15), Speaker(10, 0x10)}, 3), 0);
  EXPECT_LT(AcRms(quiet), 0.5);
  EXPECT_NEAR(Mean(quiet), 0.0, 0.5);
  // Switching the AY on later plays the registers written while it was off.
  auto loud = Channel(Render(s, 71680, {Mode(0, 1)}, 20), 0);
  EXPECT_NEAR(FrequencyByCrossings(loud, kRate, kPerFrame), ToneFrequency(71680, 100), 10.0);
}

TEST(Synth, TonesAboveTheBandDoNotAlias) {
  auto tone = [](int period) {
    Synth s = MakeSynth(StereoMode::kABC);
    return Channel(Render(s, 71680, {AY(0, 0, period), AY(0, 7, 0x3E), AY(0, 8, 15)}, 25), 0);
  };
  const auto audible = tone(100);
  const double audibleRms = AcRms(audible, kPerFrame);
  // 37 kHz and 112 kHz fall outside the band: nothing may fold back in (-60 dB).
  EXPECT_LT(AcRms(tone(3), kPerFrame), audibleRms * 0.001);
  EXPECT_LT(AcRms(tone(1), kPerFrame), audibleRms * 0.001);
  // 18.7 kHz passes, but its third harmonic (56 kHz) must not appear at 8 kHz.
  const auto high = tone(6);
  const double f = ToneFrequency(71680, 6);
  const double fundamental = AmplitudeAt(high, f, kRate, kPerFrame);
  const double alias = AmplitudeAt(high, 3 * f - kRate, kRate, kPerFrame);
  EXPECT_GT(fundamental, 1000.0);
  EXPECT_LT(20 * std::log10(alias / fundamental), -70.0);
}

}  // namespace
