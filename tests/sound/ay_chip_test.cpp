// The chip stepped in the longest strides it allows must end every stride in
// the same state as the chip stepped one step at a time, heard or not: the
// tone outputs, the noise register's output and the envelope level.
#include "sound/ay_chip.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>

namespace {

using kelvora::AYChip;

// What the generators show, read through copies of the chip with every
// channel opened to one generator at full volume.
std::array<int, 7> Generators(const AYChip& chip) {
  std::array<int, 7> g{};
  AYChip tones = chip, noise = chip;
  for (int ch = 0; ch < 3; ++ch) {
    tones.Write(8 + ch, 15);
    noise.Write(8 + ch, 15);
  }
  tones.Write(7, 0x38);
  noise.Write(7, 0x07);
  int levels[3];
  tones.ChannelLevels(levels);
  for (int ch = 0; ch < 3; ++ch) g[ch] = levels[ch];
  noise.ChannelLevels(levels);
  for (int ch = 0; ch < 3; ++ch) g[3 + ch] = levels[ch];
  g[6] = chip.EnvelopeLevel();
  return g;
}

TEST(AYChip, StridesEndWhereSingleStepsDo) {
  struct Setup {
    const char* name;
    uint8_t regs[14];
    bool audible;
  } setups[] = {
      {"after a reset", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, true},
      {"volumes 0", {100, 0, 200, 0, 50, 1, 7, 0, 0, 0, 0, 30, 0, 14}, true},
      {"mixer closed, fixed volumes", {3, 0, 7, 0, 11, 0, 1, 0x3F, 15, 9, 4, 2, 0, 10}, true},
      {"one tone heard", {90, 0, 1, 0, 2, 0, 0, 0x3E, 12, 0, 0, 1, 0, 8}, true},
      {"noise heard, repeating envelope unheard", {5, 0, 6, 0, 7, 0, 19, 0x37, 0, 9, 0, 1, 0, 12}, true},
      {"envelope held", {5, 0, 6, 0, 7, 0, 3, 0x38, 0x10, 0, 0, 2, 0, 9}, true},
      {"busy but muted", {33, 0, 44, 0, 55, 0, 2, 0x00, 0x10, 15, 15, 3, 0, 14}, false},
  };
  for (const Setup& s : setups) {
    SCOPED_TRACE(s.name);
    AYChip stepped, strided;
    for (int r = 0; r < 14; ++r) {
      stepped.Write(r, s.regs[r]);
      strided.Write(r, s.regs[r]);
    }
    uint64_t steps = 0;
    for (int stride = 0; stride < 400 && steps < 200000; ++stride) {
      // Strides of every length up to what the chip allows, the odd long one.
      const uint32_t allowed = strided.StepsToNextAudibleChange(s.audible);
      const uint32_t k = std::min<uint32_t>(allowed, stride % 5 == 0 ? 4093 : 1 + stride % 37);
      strided.Advance(k);
      for (uint32_t i = 0; i < k; ++i) stepped.Advance(1);
      steps += k;
      ASSERT_EQ(Generators(strided), Generators(stepped)) << "after " << steps << " steps";
    }
  }
}

}  // namespace
