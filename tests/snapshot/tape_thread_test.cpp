// The opener replaces the tape while the run thread keeps reading the ear
// bit: the reader must never see a freed image or a half-set player. Run
// under ThreadSanitizer (label "threads").
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "machine/tape_player.h"

namespace {

tape::TapeImage Image(uint8_t fill, size_t length) {
  std::vector<uint8_t> tap = {static_cast<uint8_t>(length), static_cast<uint8_t>(length >> 8)};
  tap.insert(tap.end(), length, fill);
  return *tape::ReadTapeImage(std::move(tap)).image;
}

void WriteNothing(uint32_t, uint8_t, void*) {}

TEST(TapeHandshake, OpeningWhileTheRunThreadReads) {
  tape::TapePlayer player;
  player.Open(Image(0x55, 300), 0);
  std::atomic<bool> stop{false};
  std::atomic<uint64_t> reads{0};
  std::thread reader([&] {
    uint64_t t = 0;
    while (!stop.load()) {
      t += 700;
      player.TapeGetEarBit(t);
      if ((t & 0xFFFF) < 700) {
        // The run thread knows nothing of the tape but what the trap checks,
        // so the asked length walks through the lengths the opener uses and
        // now and then matches the block playing.
        const auto asked = static_cast<uint16_t>((t >> 16) % 500);
        tape::TrapRegisters r{tape::kTrapAddress, asked, 0x8000, 0, 0};
        player.TapeTrapLoad(r, WriteNothing, nullptr);
      }
      reads.fetch_add(1);
    }
  });
  for (int i = 0; i < 200; ++i) {
    player.Open(Image(static_cast<uint8_t>(i), 2 + static_cast<size_t>(i) * 37 % 500), 0);
    while (reads.load() < static_cast<uint64_t>(i) * 20) std::this_thread::yield();
  }
  stop = true;
  reader.join();
  EXPECT_TRUE(player.Playing());
}

}  // namespace
