// libkelvora.so as the machine loads it: found in the program directory,
// driven through TAYHardware. CTest runs this binary three times: capturing
// to a WAV file (KELVORA_WAV), with SDL's dummy audio device, and with no
// usable audio device at all.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <vector>

#include "machine/ay_hardware.h"
#include "sound/audio_analysis.h"
#include "sound/kelvora.h"

extern "C" {
int32_t KelvoraInitialize(int32_t, void*);
int32_t KelvoraDestroy(void);
int32_t KelvoraSettingDialog(void);
int32_t KelvoraSetTapeState(void);
}

namespace {

using namespace sound_test;

constexpr int kPerFrame = 48000 / 50;

struct Machine {
  uint32_t frameTact = 0;
  TAYHardware ay{frameTact};

  void Write(uint32_t tact, int reg, int value) {
    frameTact = tact;
    ay.SelectRegister(static_cast<uint8_t>(reg));
    ay.WriteSelectedRegister(static_cast<uint8_t>(value));
  }
  // One frame as the frame clock runs it: three instructions end inside the
  // INT window, then the beeper is toggled through the frame.
  void Frame(uint32_t frameLength, bool beeper) {
    for (uint32_t t = 4; t <= 20; t += 8) {
      frameTact = t;
      ay.FrameLoop();
    }
    if (beeper)
      for (uint32_t t = 2000; t < frameLength; t += 4000) {
        frameTact = t;
        ay.SetSpeakerState((t / 4000) & 1 ? 0x10 : 0);
      }
  }
};

std::vector<int16_t> ReadWav(const char* path, int* rate) {
  std::ifstream f(path, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  if (bytes.size() < 44 || std::string(bytes.data(), 4) != "RIFF" ||
      std::string(bytes.data() + 36, 4) != "data")
    return {};
  auto u32 = [&](size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(bytes[at + i]);
    return v;
  };
  *rate = static_cast<int>(u32(24));
  const uint32_t size = u32(40);
  if (44 + size > bytes.size()) return {};
  std::vector<int16_t> samples(size / 2);
  std::memcpy(samples.data(), bytes.data() + 44, size);
  return samples;
}

TEST(Plugin, LoadsFromTheProgramDirectoryAndOffersBothOutputs) {
  Machine m;
  ASSERT_EQ(m.ay.PluginReady.load(), 1);
  EXPECT_EQ(m.ay.AYSupported, 1);
  EXPECT_EQ(m.ay.BeeperSupported, 1);
  m.ay.SetAYEnabled(1);
  m.ay.SetBeeperEnabled(1);
  EXPECT_EQ(m.ay.AYEnabled, 1);
  EXPECT_EQ(m.ay.BeeperEnabled, 1);
  // No QApplication here: the dialog does nothing and returns.
  m.ay.ShowSettingDialog();
  EXPECT_EQ(KelvoraSetTapeState(), 0);
  m.ay.ShutdownPlugin();
  EXPECT_NE(KelvoraSettingDialog(), 0);
}

TEST(Plugin, RunsThroughReinitialisationsWithOrWithoutADevice) {
  Machine m;
  ASSERT_EQ(m.ay.PluginReady.load(), 1);
  m.ay.AYRegistersEmulation = 1;
  m.ay.SetAYEnabled(1);
  m.ay.SetBeeperEnabled(1);
  for (int i = 0; i < 6; ++i) m.ay.SetFrameLength(i & 1 ? 69888 : 71680);
  for (int f = 0; f < 20; ++f) {
    if (f == 10) m.ay.SetFrameLength(69888);  // a timing Apply while running
    m.Frame(m.ay.FrameLength, true);
  }
  EXPECT_EQ(m.ay.PluginReady.load(), 1);
  EXPECT_EQ(m.ay.AYEnabled, 1);
  m.ay.ShutdownPlugin();
  EXPECT_NE(KelvoraInitialize(0, nullptr), 0);
}

// The capture shows what would be played: one frame of audio per emulated
// frame, the tone at its pitch, and the mode kept across re-initialisations.
TEST(Plugin, CaptureHoldsOneFramePerEmulatedFrame) {
  const char* path = std::getenv("KELVORA_WAV");
  if (!path || !*path) GTEST_SKIP() << "only with KELVORA_WAV";
  auto samplesSoFar = [&] {
    int rate = 0;
    return static_cast<int>(ReadWav(path, &rate).size() / 2);
  };
  int before = 0;
  {
    Machine m;
    ASSERT_EQ(m.ay.PluginReady.load(), 1);
    m.ay.AYRegistersEmulation = 1;
    m.ay.SetAYEnabled(1);
    m.ay.SetBeeperEnabled(0);  // speaker writes still mark the frames, unheard
    m.ay.ResetRegisters();
    m.Write(100, 0, 200);  // 71680 * 25 / (16 * 200) = 560 Hz
    m.Write(100, 1, 0);
    m.Write(100, 7, 0x3E);
    m.Write(100, 8, 15);
    // A frame left open by an earlier test has ended with the wrap above.
    before = samplesSoFar();
    for (int f = 0; f < 60; ++f) {
      if (f == 30) m.ay.SetFrameLength(71680);  // re-initialised: the mode must hold
      m.Frame(71680, true);
    }
    m.ay.ShutdownPlugin();
  }
  int rate = 0;
  auto audio = ReadWav(path, &rate);
  ASSERT_EQ(rate, 48000);
  ASSERT_GE(audio.size() / 2, static_cast<size_t>(before));
  const size_t frames = audio.size() / 2 - before;
  EXPECT_EQ(frames, 59u * kPerFrame);  // the last frame is still open
  std::vector<int16_t> mine(audio.begin() + 2 * before, audio.end());
  auto left = Channel(mine, 0);
  EXPECT_NEAR(FrequencyByCrossings(left, rate), 560.0, 560.0 * 0.005);
  // Sound all the way through, also after the re-initialisation.
  for (size_t from = 0; from + kPerFrame <= left.size(); from += kPerFrame)
    EXPECT_GT(AcRms(left, from, from + kPerFrame), 1000.0) << "frame at " << from / kPerFrame;
}

}  // namespace
