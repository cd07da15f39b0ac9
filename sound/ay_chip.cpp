#include "sound/ay_chip.h"

#include <algorithm>

namespace kelvora {

namespace {

// Steps until a counter next reaches its period (at least 1: a counter left
// past a shortened period restarts on the next step).
uint32_t StepsToWrap(uint32_t count, uint32_t period) {
  return count + 1 >= period ? 1 : period - count;
}

// Moves a counter on by k steps: each step counts up, and reaching the period
// restarts it from 0. Returns how many times it restarted.
uint32_t CountSteps(uint32_t& count, uint32_t period, uint32_t k) {
  if (count + k < period) {
    count += k;
    return 0;
  }
  k -= StepsToWrap(count, period);
  if (k < period) {
    count = k;
    return 1;
  }
  count = k % period;
  return 1 + k / period;
}

}  // namespace

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
  UpdateWatchedGenerators();
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
    case 7: case 8: case 9: case 10:
      UpdateWatchedGenerators();
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

// A channel whose level is fixed (volume 0 without the envelope, or a fixed
// volume with tone and noise both off) cannot be heard to change, so the
// generators it would let through need no watching for its sake.
void AYChip::UpdateWatchedGenerators() {
  const uint8_t mixer = regs_[7];
  watchedTones_ = 0;
  watchNoise_ = watchEnvelope_ = false;
  for (int i = 0; i < 3; ++i) {
    const uint8_t vol = regs_[8 + i];
    const bool toneOn = !((mixer >> i) & 1), noiseOn = !((mixer >> (i + 3)) & 1);
    const bool envelope = (vol & 0x10) != 0;
    if (!envelope && ((vol & 0x0F) == 0 || (!toneOn && !noiseOn))) continue;
    if (toneOn) watchedTones_ |= 1 << i;
    watchNoise_ |= noiseOn;
    watchEnvelope_ |= envelope;
  }
}

uint32_t AYChip::StepsToNextAudibleChange(bool audible) const {
  uint32_t k = UINT32_MAX;
  if (!audible) return k;
  for (int i = 0; i < 3; ++i)
    if ((watchedTones_ >> i) & 1) k = std::min(k, StepsToWrap(toneCount_[i], tonePeriod_[i]));
  if (watchNoise_) k = std::min(k, StepsToWrap(noiseCount_, noisePeriod_));
  if (watchEnvelope_ && !envHolding_) k = std::min(k, StepsToWrap(envCount_, envPeriod_));
  return k;
}

void AYChip::ShiftNoise(uint32_t n) {
  // 17-bit shift register, taps at bits 0 and 3. The next 14 input bits
  // depend only on bits present now, so 14 shifts can be made at once.
  uint32_t x = lfsr_;
  for (; n >= 14; n -= 14) x = (x >> 14) | (((x ^ (x >> 3)) & 0x3FFF) << 3);
  for (; n > 0; --n) x = (x >> 1) | (((x ^ (x >> 3)) & 1) << 16);
  lfsr_ = x;
}

void AYChip::EnvelopeTicks(uint32_t n) {
  // A repeating shape is back where it was after two ramps.
  if (!envHold_) n %= 32;
  for (; n > 0 && !envHolding_; --n) EnvelopeTick();
}

void AYChip::Advance(uint32_t k) {
  for (int i = 0; i < 3; ++i)
    if (CountSteps(toneCount_[i], tonePeriod_[i], k) & 1) toneOut_[i] ^= 1;
  if (const uint32_t n = CountSteps(noiseCount_, noisePeriod_, k)) ShiftNoise(n);
  if (!envHolding_) {
    if (const uint32_t n = CountSteps(envCount_, envPeriod_, k)) EnvelopeTicks(n);
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
