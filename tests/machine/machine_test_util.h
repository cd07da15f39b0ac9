// Helpers shared by the machine tests: a machine without the sound plug-in,
// page lookups, recording devices, and loading small programs.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "machine/hardware.h"

namespace machine_test {

// A machine on the heap (it holds 1 MB of RAM) with no sound plug-in loaded.
inline std::unique_ptr<TZXHardware> MakeMachine() {
  TAYHardware::SetPluginPathForTesting("/nonexistent/libkelvora.so");
  return std::make_unique<TZXHardware>();
}

// What a window shows: RAM page n as n, ROM slots as the negative codes.
inline constexpr int kRom128 = -1, kRom48 = -2, kExtRom = -3, kTrdosRom = -4, kUnknown = -99;

inline int PageOf(const TZXHardware& m, const uint8_t* window) {
  for (int p = 0; p < 64; ++p)
    if (window == m.RamPages[p]) return p;
  for (int s = 0; s < 4; ++s)
    if (window == m.RomSlots[s]) return -1 - s;
  return kUnknown;
}

// Places bytes into memory through the windows (ignores the ROM).
inline void Poke(TZXHardware& m, uint16_t address, const std::vector<uint8_t>& bytes) {
  for (uint8_t b : bytes) {
    m.Windows[address >> 14][address & 0x3FFF] = b;
    ++address;
  }
}

// Steps the processor until the global T-state counter has advanced by at
// least the given number of frames of the current period.
inline void RunFrames(TZXHardware& m, int frames) {
  const uint64_t target = m.GlobalTact + uint64_t(frames) * m.Timing.timeLoopTime;
  while (m.GlobalTact < target) ASSERT_EQ(m.StepCpu(), Z80_OK);
}

struct RecordingDisplay : IDisplayOutput {
  int presents = 0;
  std::vector<int> modes;
  std::vector<uint8_t> lastPicture;
  void PresentFrame(TZXHardware& m) override {
    ++presents;
    lastPicture.assign(m.FrameBuffer, m.FrameBuffer + m.ScreenWidth * m.PictureLines);
  }
  void SetScreenMode(TZXHardware&, int mode) override { modes.push_back(mode); }
};

struct RecordingInput : IInputDevices {
  std::string calls;
  void PollKeyboard(TZXHardware&) override { calls += 'K'; }
  void PollKeypadJoystick(TZXHardware&) override { calls += 'J'; }
  void PollMouse(TZXHardware&) override { calls += 'M'; }
};

struct RecordingTape : ITapeDeck {
  uint8_t level = 0;
  int earReads = 0;
  int traps = 0;
  uint8_t TapeGetEarBit(TZXHardware&) override {
    ++earReads;
    return level;
  }
  void TapeTrapLoad(TZXHardware&) override { ++traps; }
};

// Answers each controller register with #A0 plus the register's index and
// records writes as "port=value".
struct RecordingBetaDisk : IBetaDiskPorts {
  std::vector<std::string> writes;
  std::vector<uint8_t> reads;
  static uint8_t Answer(uint8_t port) {
    switch (port) {
      case 0x1F: return 0xA0;
      case 0x3F: return 0xA1;
      case 0x5F: return 0xA2;
      case 0x7F: return 0xA3;
      case 0xFF: return 0xA4;
      default: return 0x00;
    }
  }
  uint8_t ReadRegister(uint8_t port) override {
    reads.push_back(port);
    return Answer(port);
  }
  void WriteRegister(uint8_t port, uint8_t value) override {
    char text[16];
    snprintf(text, sizeof text, "%02X=%02X", port, value);
    writes.push_back(text);
  }
};

}  // namespace machine_test
