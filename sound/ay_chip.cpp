#include "sound/ay_chip.h"

#include <algorithm>

namespace kelvora {

// 2^((n - 15) / 2): 3 dB per level.
const double kAYVolumeTable[16] = {0.0,         0.0078125,   0.011048543, 0.015625,
                                   0.022097087, 0.03125,     0.044194174, 0.0625,
                                   0.088388348, 0.125,       0.176776695, 0.25,
                                   0.353553391, 0.5,         0.707106781, 1.0};

void AYChip::Reset() {
  for (auto& r : regs_) r = 0;
  for (int i = 0; i < 3; ++i) {
    tonePeriod_[i] = 1;
    toneCount_[i] = 0;
    toneOut_[i] = 0;
  }
  noisePeriod_ = 2;
  noiseCount_ = 0;
  lfsr_ = 1;
  envPeriod_ = 2;
  envCount_ = 0;
  regs_[13] = 0;
  RestartEnvelope();
}

void AYChip::Write(int reg, uint8_t value) {
  reg &= 15;
  regs_[reg] = value;
  switch (reg) {
    case 0: case 1: case 2: case 3: case 4: case 5: {
      const int ch = reg >> 1;
      const uint32_t p = regs_[ch * 2] | ((regs_[ch * 2 + 1] & 0x0F) << 8);
      tonePeriod_[ch] = p ? p : 1;  // period 0 sounds like 1
      break;
    }
    case 6: {
      const uint32_t p = value & 0x1F;
      noisePeriod_ = 2 * (p ? p : 1);
      break;
    }
    case 11: case 12: {
      const uint32_t p = regs_[11] | (regs_[12] << 8);
      envPeriod_ = 2 * (p ? p : 1);
      break;
    }
    case 13:
      // Any write to the shape register restarts the envelope, even with the
      // same value: players rely on this to retrigger.
      RestartEnvelope();
      break;
    default:
      break;
  }
}

void AYChip::RestartEnvelope() {
  const uint8_t shape = regs_[13] & 0x0F;
  envAttack_ = (shape & 0x04) ? 0x0F : 0x00;
  if (!(shape & 0x08)) {
    // Shapes 0-7 play one ramp and then sit at 0: an attack ramp is
    // "alternated" down to 0 when it ends.
    envHold_ = true;
    envAlternate_ = envAttack_ != 0;
  } else {
    envHold_ = shape & 0x01;
    envAlternate_ = shape & 0x02;
  }
  envStep_ = 15;
  envHolding_ = false;
  envCount_ = 0;
  envLevel_ = envStep_ ^ envAttack_;
}

void AYChip::EnvelopeTick() {
  if (--envStep_ < 0) {
    if (envHold_) {
      if (envAlternate_) envAttack_ ^= 0x0F;
      envHolding_ = true;
      envStep_ = 0;
    } else {
      if (envAlternate_) envAttack_ ^= 0x0F;
      envStep_ = 15;
    }
  }
  envLevel_ = envStep_ ^ envAttack_;
}

uint32_t AYChip::StepsToNextChange() const {
  uint32_t k = UINT32_MAX;
  for (int i = 0; i < 3; ++i) {
    const uint32_t left = toneCount_[i] + 1 >= tonePeriod_[i] ? 1 : tonePeriod_[i] - toneCount_[i];
    k = std::min(k, left);
  }
  k = std::min(k, noiseCount_ + 1 >= noisePeriod_ ? 1u : noisePeriod_ - noiseCount_);
  if (!envHolding_) k = std::min(k, envCount_ + 1 >= envPeriod_ ? 1u : envPeriod_ - envCount_);
  return k;
}

void AYChip::Advance(uint32_t k) {
  for (int i = 0; i < 3; ++i) {
    toneCount_[i] += k;
    if (toneCount_[i] >= tonePeriod_[i]) {
      toneCount_[i] = 0;
      toneOut_[i] ^= 1;
    }
  }
  noiseCount_ += k;
  if (noiseCount_ >= noisePeriod_) {
    noiseCount_ = 0;
    // 17-bit shift register, taps at bits 0 and 3.
    lfsr_ = (lfsr_ >> 1) | (((lfsr_ ^ (lfsr_ >> 3)) & 1) << 16);
  }
  if (!envHolding_) {
    envCount_ += k;
    if (envCount_ >= envPeriod_) {
      envCount_ = 0;
      EnvelopeTick();
    }
  }
}

void AYChip::ChannelLevels(int levels[3]) const {
  const uint8_t mixer = regs_[7];
  const uint8_t noise = lfsr_ & 1;
  for (int i = 0; i < 3; ++i) {
    // A disabled generator holds its input of the channel gate high.
    const bool tone = toneOut_[i] | ((mixer >> i) & 1);
    const bool noiseOn = noise | ((mixer >> (i + 3)) & 1);
    const uint8_t vol = regs_[8 + i];
    const int level = (vol & 0x10) ? envLevel_ : (vol & 0x0F);
    levels[i] = (tone && noiseOn) ? level : -1;
  }
}

}  // namespace kelvora
