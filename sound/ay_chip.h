// The AY-3-8910's sound generators, stepped at clock/8: three square-wave
// tone channels, the 17-bit noise generator, the mixer of R7, and the
// envelope generator. One step is 16 T-states of the Spectrum (the AY runs at
// half the processor clock).
#pragma once

#include <cstdint>

namespace kelvora {

class AYChip {
 public:
  AYChip() { Reset(); }
  void Reset();
  void Write(int reg, uint8_t value);
  uint8_t Register(int reg) const { return regs_[reg & 15]; }

  // Steps until the next step that may change what is heard (at least 1),
  // or UINT32_MAX when nothing can: a generator whose output no channel can
  // let through is not waited for. audible: false while the chip is muted,
  // when no change can be heard at all.
  uint32_t StepsToNextAudibleChange(bool audible) const;
  // Advances k steps; k must not exceed StepsToNextAudibleChange(). Every
  // counter, the noise register and the envelope move on exactly as k single
  // steps would move them, heard or not.
  void Advance(uint32_t k);

  // Volume index 0..15 of each channel, or -1 while its output is low.
  void ChannelLevels(int levels[3]) const;

  int EnvelopeLevel() const { return envLevel_; }

 private:
  void RestartEnvelope();
  void EnvelopeTick();
  void EnvelopeTicks(uint32_t n);
  void ShiftNoise(uint32_t n);
  void UpdateWatchedGenerators();

  uint8_t regs_[16];
  uint32_t tonePeriod_[3];
  uint32_t toneCount_[3];
  uint8_t toneOut_[3];
  uint32_t noisePeriod_;  // in steps: twice the 5-bit period
  uint32_t noiseCount_;
  uint32_t lfsr_;
  uint32_t envPeriod_;  // in steps: twice the 16-bit period
  uint32_t envCount_;
  int envStep_;
  uint8_t envAttack_;  // 0 or 15, XORed into the step count
  bool envHold_, envAlternate_, envHolding_;
  int envLevel_;
  // The generators some channel can be heard through; bit i: tone i.
  uint8_t watchedTones_;
  bool watchNoise_, watchEnvelope_;
};

// Amplitude of each of the 16 volume levels: the DAC is logarithmic, about
// 3 dB (a factor of sqrt 2) per level, and level 0 is silent.
extern const double kAYVolumeTable[16];

}  // namespace kelvora
