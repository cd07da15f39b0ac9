// Fixed sequences of register, speaker and mode writes, rendered and reduced
// to a checksum of every output sample. The checksums were taken from the
// synthesis as it stood before silent channels stopped costing steps, so any
// change to the samples (a tone's phase after a long silence, the noise
// register's position, an envelope's place in its ramp) shows here.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "sound/synth.h"
#include "sound/synth_events.h"

namespace {

using kelvora::SoundEvent;
using kelvora::StereoMode;
using kelvora::Synth;
using namespace sound_test;

uint64_t Fnv1a(const std::vector<int16_t>& samples) {
  uint64_t h = 1469598103934665603ull;
  for (int16_t s : samples) {
    const uint16_t u = static_cast<uint16_t>(s);
    for (int b = 0; b < 2; ++b) {
      h ^= (u >> (8 * b)) & 0xFF;
      h *= 1099511628211ull;
    }
  }
  return h;
}

// A small deterministic generator, so the random sequences never change.
struct Lcg {
  uint64_t state;
  uint32_t Next(uint32_t bound) {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<uint32_t>((state >> 33) % bound);
  }
};

constexpr uint32_t kFrame = 71680;

// Three tones with periods and volumes, written at the given T-state.
void Tones(std::vector<SoundEvent>& e, uint32_t t, int a, int b, int c, int mixer, int va, int vb, int vc) {
  const int periods[3] = {a, b, c};
  for (int ch = 0; ch < 3; ++ch) {
    e.push_back(AY(t, 2 * ch, periods[ch] & 0xFF));
    e.push_back(AY(t, 2 * ch + 1, periods[ch] >> 8));
  }
  e.push_back(AY(t, 7, mixer));
  e.push_back(AY(t, 8, va));
  e.push_back(AY(t, 9, vb));
  e.push_back(AY(t, 10, vc));
}

std::vector<SoundEvent> SilentCountersThenTones() {
  std::vector<SoundEvent> e;
  Tones(e, 0, 101, 333, 4095, 0x38, 0, 0, 0);  // counters run, nothing heard
  e.push_back(AY(30 * kFrame + 12345, 8, 15));
  e.push_back(AY(31 * kFrame + 777, 9, 12));
  e.push_back(AY(33 * kFrame + 70001, 10, 0x0F));
  e.push_back(AY(36 * kFrame + 3, 8, 0));
  e.push_back(AY(38 * kFrame + 4444, 8, 9));
  return e;
}

std::vector<SoundEvent> Arpeggio() {
  std::vector<SoundEvent> e;
  const int notes[4] = {239, 190, 159, 119};
  for (uint32_t f = 0; f < 40; ++f) {
    const int n = notes[f % 4];
    Tones(e, f * kFrame + 100 + 37 * f, n, n * 2 + 1, n / 2, 0x38, 15 - f % 8, 12, f % 16);
  }
  return e;
}

std::vector<SoundEvent> Noise() {
  std::vector<SoundEvent> e;
  // Noise runs unheard for a while, then B takes it at an odd T-state.
  e.push_back(AY(0, 7, 0x2D));  // noise on B only, all tones off
  e.push_back(AY(0, 6, 0));
  e.push_back(AY(11 * kFrame + 1234, 9, 13));
  for (uint32_t f = 12; f < 40; ++f) e.push_back(AY(f * kFrame + 500 * f, 6, f * 3));
  e.push_back(AY(25 * kFrame + 99, 9, 0));        // quiet again
  e.push_back(AY(29 * kFrame + 31415, 9, 0x0E));  // and back
  e.push_back(AY(33 * kFrame + 5, 7, 0x3F));      // both off: a steady level
  e.push_back(AY(35 * kFrame + 6007, 7, 0x25));   // noise on A and B
  e.push_back(AY(35 * kFrame + 6007, 8, 10));
  return e;
}

std::vector<SoundEvent> Envelopes() {
  std::vector<SoundEvent> e;
  e.push_back(AY(0, 7, 0x3D));  // tone B only; A shows the bare envelope
  e.push_back(AY(0, 2, 90));
  e.push_back(AY(0, 8, 0x10));
  e.push_back(AY(0, 9, 0x10));
  const int periods[4] = {1, 3, 17, 300};
  for (uint32_t shape = 0; shape < 16; ++shape) {
    const uint32_t t = shape * 3 * kFrame + 2345 + 111 * shape;
    e.push_back(AY(t, 11, periods[shape % 4]));
    e.push_back(AY(t, 12, shape == 7 ? 1 : 0));
    e.push_back(AY(t + 16, 13, shape));
    // The envelope keeps going while nobody listens, then comes back mid-ramp.
    e.push_back(AY(t + 40000, 8, 0));
    e.push_back(AY(t + 40000, 9, 0));
    e.push_back(AY(t + kFrame + 20021, 8, 0x10));
    e.push_back(AY(t + kFrame + 50505, 9, 0x1F));
  }
  return e;
}

std::vector<SoundEvent> Mixed() {
  std::vector<SoundEvent> e;
  for (uint32_t f = 0; f < 50; ++f) {
    const uint32_t base = f * kFrame;
    const int bass = 400 + 13 * f;
    Tones(e, base + 40 + f, bass, 180 + f, 90, f % 3 ? 0x30 : 0x20, 0x10, 11, f % 5 ? 9 : 0);
    e.push_back(AY(base + 300, 6, 1 + f % 31));
    e.push_back(AY(base + 320, 11, 40 + f % 8));
    e.push_back(AY(base + 321, 12, 0));
    if (f % 4 == 0) e.push_back(AY(base + 330, 13, f % 8 == 0 ? 14 : 10));
    for (uint32_t t = 900 + f; t < kFrame; t += 211 + f) e.push_back(Speaker(base + t, (t / 211) & 1 ? 0x10 : 0));
    if (f == 20) e.push_back(Mode(base + 33333, 2));  // AY off, beeper on
    if (f == 24) e.push_back(Mode(base + 4321, 3));
    if (f == 30) e.push_back(Mode(base + 1000, 0));
    if (f == 31) e.push_back(Mode(base + 65000, 1));
  }
  return e;
}

// Register, speaker and mode writes at random T-states; volumes are often 0
// and the mixer often closes channels, so silences come and go.
std::vector<SoundEvent> RandomWrites(uint64_t seed, uint32_t frameLength, int frames) {
  Lcg rng{seed};
  std::vector<SoundEvent> e;
  for (int f = 0; f < frames; ++f) {
    std::vector<uint32_t> tacts;
    const uint32_t n = rng.Next(40);
    for (uint32_t i = 0; i < n; ++i) tacts.push_back(rng.Next(frameLength));
    std::sort(tacts.begin(), tacts.end());
    for (uint32_t t : tacts) {
      const uint32_t at = static_cast<uint32_t>(f) * frameLength + t;
      const uint32_t what = rng.Next(20);
      if (what < 4) {
        e.push_back(Speaker(at, rng.Next(2) ? 0x10 : 0));
      } else if (what == 4) {
        e.push_back(Mode(at, rng.Next(4)));
      } else {
        const int reg = static_cast<int>(rng.Next(14));
        uint32_t value = rng.Next(256);
        if (reg >= 8 && reg <= 10 && rng.Next(3) == 0) value = 0;
        if (reg == 13) value &= 15;
        if (reg == 12 || reg == 1 || reg == 3 || reg == 5) value &= rng.Next(2) ? 0x0F : 0x00;
        e.push_back(AY(at, reg, static_cast<int>(value)));
      }
    }
  }
  return e;
}

struct Sequence {
  std::string name;
  std::function<std::vector<SoundEvent>()> events;
  int frames;
  uint32_t frameLength = kFrame;
  double outputSamples = 960.0;
  StereoMode stereo = StereoMode::kABC;
  int mode = 3;
  double volume = 1.0;
  uint64_t checksum;
};

TEST(SynthSequences, SamplesMatchTheRecordedChecksums) {
  const Sequence sequences[] = {
      {.name = "silent chip", .events = [] { return std::vector<SoundEvent>{}; }, .frames = 50,
       .checksum = 0xf36cbe2231ce2b83ull},
      {.name = "silent chip, AY muted, beeper edge", .events = [] { return std::vector<SoundEvent>{Speaker(5000, 0x10)}; },
       .frames = 400, .mode = 2, .checksum = 0xf9bc78713f347a3full},
      {.name = "silent counters, then tones", .events = SilentCountersThenTones, .frames = 42,
       .checksum = 0x6f55b9d9a013eaecull},
      {.name = "arpeggio", .events = Arpeggio, .frames = 40, .checksum = 0xec216f0bef747285ull},
      {.name = "arpeggio, mono, stretched frames", .events = Arpeggio, .frames = 40,
       .outputSamples = 963.37, .stereo = StereoMode::kMono, .volume = 0.55, .checksum = 0xdb497cf41c286467ull},
      {.name = "noise", .events = Noise, .frames = 40, .checksum = 0x914686f49dba713bull},
      {.name = "envelopes", .events = Envelopes, .frames = 50, .checksum = 0x9530a8625f8dd75dull},
      {.name = "mixed with beeper and mode changes", .events = Mixed, .frames = 50, .checksum = 0x463b61cb8fc61655ull},
      {.name = "random writes, seed 1", .events = [] { return RandomWrites(1, kFrame, 80); },
       .frames = 80, .checksum = 0xc2ee1928fa1f4273ull},
      {.name = "random writes, seed 2, 69888", .events = [] { return RandomWrites(2, 69888, 80); },
       .frames = 80, .frameLength = 69888, .outputSamples = 958.6, .checksum = 0xc25f663f191b8d79ull},
      {.name = "random writes, seed 3, short frames", .events = [] { return RandomWrites(3, 20000, 120); },
       .frames = 120, .frameLength = 20000, .outputSamples = 301.25, .stereo = StereoMode::kMono,
       .checksum = 0x5e411637f89e140bull},
  };
  for (const Sequence& s : sequences) {
    Synth synth(48000);
    synth.SetStereo(s.stereo);
    synth.SetVolume(s.volume);
    synth.SetMode(s.mode);
    const auto out = Render(synth, s.frameLength, s.events(), s.frames, s.outputSamples);
    EXPECT_EQ(Fnv1a(out), s.checksum) << s.name << ": 0x" << std::hex << Fnv1a(out) << std::dec
                                      << " over " << out.size() / 2 << " samples";
  }
}

}  // namespace
