// The tape reader and the wave, without the machine: a sampler polls the ear
// bit the way a loader does, measures the half-periods and decodes them back
// into bytes.
#include <gtest/gtest.h>

#include <map>

#include "machine/tape_image.h"
#include "machine/tape_player.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Tap(const std::vector<Bytes>& blocks) {
  Bytes f;
  for (const auto& b : blocks) {
    f.push_back(static_cast<uint8_t>(b.size()));
    f.push_back(static_cast<uint8_t>(b.size() >> 8));
    f.insert(f.end(), b.begin(), b.end());
  }
  return f;
}

Bytes TzxHeader() { return {'Z', 'X', 'T', 'a', 'p', 'e', '!', 0x1A, 1, 20}; }

void AddTzxData(Bytes& f, const Bytes& data) {
  f.insert(f.end(), {0x10, 0xE8, 0x03, static_cast<uint8_t>(data.size()),
                     static_cast<uint8_t>(data.size() >> 8)});
  f.insert(f.end(), data.begin(), data.end());
}

std::vector<Bytes> BlocksOf(const tape::TapeImage& img) {
  std::vector<Bytes> v;
  for (const auto& b : img.blocks)
    v.emplace_back(img.bytes.begin() + static_cast<ptrdiff_t>(b.offset),
                   img.bytes.begin() + static_cast<ptrdiff_t>(b.offset + b.length));
  return v;
}

TEST(TapeReader, TapBlocks) {
  const Bytes a = {0, 1, 2}, b = {0xFF, 9};
  struct Case {
    const char* name;
    Bytes file;
    std::vector<Bytes> blocks;  // empty: refused
    std::string message;
  } cases[] = {
      {"two blocks", Tap({a, b}), {a, b}, ""},
      {"empty block skipped", Tap({a, {}, b}), {a, b}, ""},
      {"block past the end", [&] { Bytes f = Tap({a, b}); f.pop_back(); return f; }(), {},
       "File corrupt!"},
      {"odd trailing byte", [&] { Bytes f = Tap({a}); f.push_back(1); return f; }(), {},
       "File corrupt!"},
      {"only empty blocks", Tap({{}, {}}), {}, "No data blocks in tape file!"},
      {"empty file", {}, {}, "No data blocks in tape file!"},
      {"no TZX signature", [&] { Bytes f = Tap({a}); return f; }(), {a}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto r = tape::ReadTapeImage(c.file);
    if (c.blocks.empty()) {
      ASSERT_FALSE(r.ok());
      EXPECT_EQ(r.error, c.message);
    } else {
      ASSERT_TRUE(r.ok()) << r.error;
      EXPECT_EQ(BlocksOf(*r.image), c.blocks);
    }
  }
}

TEST(TapeReader, TzxKeepsDataBlocksAndSkipsInformation) {
  const Bytes a = {0, 1, 2, 3}, b = {0xFF, 5, 6};
  Bytes f = TzxHeader();
  f.insert(f.end(), {0x30, 2, 'h', 'i'});            // text
  f.insert(f.end(), {0x21, 1, 'g'});                 // group start
  AddTzxData(f, a);
  f.insert(f.end(), {0x20, 0xE8, 0x03});             // pause
  f.insert(f.end(), {0x22});                         // group end
  f.insert(f.end(), {0x31, 5, 1, 'm'});              // message
  f.insert(f.end(), {0x32, 3, 0, 1, 0, 0});          // archive info
  f.insert(f.end(), {0x33, 1, 0, 0, 0});             // hardware type
  f.insert(f.end(), {0x2A, 0, 0, 0, 0});             // stop in 48K mode
  f.insert(f.end(), {0x5A, 'X', 'T', 'a', 'p', 'e', '!', 0x1A, 1, 20});  // glue
  AddTzxData(f, b);
  f.push_back(0x35);                                 // custom info
  f.insert(f.end(), 16, 'c');
  f.insert(f.end(), {2, 0, 0, 0, 'x', 'y'});
  auto r = tape::ReadTapeImage(f);
  ASSERT_TRUE(r.ok()) << r.error;
  EXPECT_EQ(BlocksOf(*r.image), (std::vector<Bytes>{a, b}));
}

TEST(TapeReader, TzxRefusals) {
  struct Case {
    const char* name;
    Bytes tail;
    std::string message;
  } cases[] = {
      {"turbo block", {0x11, 0, 0}, "Unsupported TZX block: #11 (offset 19) !"},
      {"pure tone", {0x12, 0, 0, 0, 0}, "Unsupported TZX block: #12 (offset 19) !"},
      {"data length past the end", {0x10, 0, 0, 9, 0, 1}, "File corrupt!"},
      {"text cut", {0x30, 9, 'a'}, "File corrupt!"},
      {"custom info cut", {0x35, 'a'}, "File corrupt!"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes f = TzxHeader();
    AddTzxData(f, {1, 2, 3, 4});
    f.insert(f.end(), c.tail.begin(), c.tail.end());
    auto r = tape::ReadTapeImage(f);
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error, c.message);
  }
  EXPECT_EQ(tape::ReadTapeImage(TzxHeader()).error, "No data blocks in tape file!");
  Bytes cut = {'Z', 'X', 'T', 'a', 'p', 'e', '!', 0x1A, 1};
  EXPECT_EQ(tape::ReadTapeImage(cut).error, "File corrupt!");
}

// ---------------------------------------------------------------------------
// The wave
// ---------------------------------------------------------------------------

tape::TapeImage Image(const std::vector<Bytes>& blocks) {
  return *tape::ReadTapeImage(Tap(blocks)).image;
}

// Polls every `step` T-states from `from` to `to` and returns the lengths
// between level changes.
std::vector<uint64_t> Sample(tape::TapePlayer& p, uint64_t from, uint64_t to, uint64_t step = 40) {
  std::vector<uint64_t> halves;
  uint8_t level = p.TapeGetEarBit(from);
  uint64_t last = from;
  for (uint64_t t = from + step; t < to; t += step) {
    uint8_t l = p.TapeGetEarBit(t);
    if (l != level) {
      halves.push_back(t - last);
      last = t;
      level = l;
    }
  }
  return halves;
}

bool Near(uint64_t v, uint64_t nominal) { return v + 100 > nominal && v < nominal + 100; }

// Decodes every block in the sampled halves: pilot, the two sync halves,
// then bit pairs up to the expected lengths.
std::vector<Bytes> Decode(const std::vector<uint64_t>& h, const std::vector<size_t>& lengths) {
  std::vector<Bytes> out;
  size_t i = 0;
  for (size_t len : lengths) {
    size_t pilot = 0;
    while (i + 1 < h.size() && !(Near(h[i], 667) && Near(h[i + 1], 735))) {
      pilot = Near(h[i], 2168) ? pilot + 1 : 0;
      ++i;
    }
    if (i + 1 >= h.size() || pilot < 3000) return out;
    i += 2;
    Bytes block;
    for (size_t n = 0; n < len; ++n) {
      uint8_t byte = 0;
      for (int bit = 0; bit < 8; ++bit, i += 2) {
        if (i + 1 >= h.size()) return out;
        byte = static_cast<uint8_t>(byte << 1 | (Near(h[i], 1710) ? 1 : 0));
      }
      block.push_back(byte);
    }
    out.push_back(block);
  }
  return out;
}

TEST(TapeWave, PlaysEveryBlockAndStartsOver) {
  const Bytes a = {0x00, 0x03, 0xA5, 0x5A}, b = {0xFF, 0x01, 0x80, 0xED, 0x7E};
  tape::TapePlayer p;
  p.Open(Image({a, b}), 1000);
  // Two pauses before the first block, one before each later block.
  auto halves = Sample(p, 1000, 1000 + 9 * tape::kPauseLength);
  auto blocks = Decode(halves, {a.size(), b.size(), a.size()});
  ASSERT_EQ(blocks.size(), 3u);
  EXPECT_EQ(blocks[0], a);
  EXPECT_EQ(blocks[1], b);
  EXPECT_EQ(blocks[2], a);  // after the last block the tape starts over
}

TEST(TapeWave, PilotEdgesFollowThePeriod) {
  tape::TapePlayer p;
  p.Open(Image({{1, 2, 3}}), 0);
  // Run through the opening pauses and lead-ins into the pilot.
  uint64_t t = 0;
  while (p.PulseLength() != tape::kPilotHalf) t += 50, p.TapeGetEarBit(t);
  // Once the pilot runs, its edges fall on multiples of the half-period.
  uint8_t level = p.TapeGetEarBit(t);
  for (int changes = 0; changes < 3; t += 8) {
    if (p.TapeGetEarBit(t) != level) level ^= 0x40, ++changes;
  }
  const uint64_t edge = (t - 8) - (t - 8) % tape::kPilotHalf;
  EXPECT_EQ(p.TapeGetEarBit(edge + 1000), level);
  EXPECT_NE(p.TapeGetEarBit(edge + 2200), level);
}

TEST(TapeWave, SlowReadsDuringThePilotRestartIt) {
  tape::TapePlayer p;
  p.Open(Image({{1, 2, 3}}), 0);
  uint64_t t = 0;
  while (p.PulseCount() < 1500) t += 50, p.TapeGetEarBit(t);
  // More than 1000 pilot pulses given: the block starts over with its pause.
  EXPECT_EQ(p.TapeGetEarBit(t + 2600), 0);
  EXPECT_EQ(p.PulseCount(), 0);
}

TEST(TapeWave, AbandonedDataSkipsTheRestOfTheBlock) {
  const Bytes a(64, 0x55), b = {0xFF, 0x42};
  tape::TapePlayer p;
  p.Open(Image({a, b}), 0);
  uint64_t t = 0;
  while (p.PulseCount() < 2100) t += 40, p.TapeGetEarBit(t);
  ASSERT_EQ(p.NextBlockIndex(), 1u);
  p.TapeGetEarBit(t + 3100);
  EXPECT_EQ(p.NextBlockIndex(), 2u);
  EXPECT_EQ(p.BlockLength(), b.size());
}

// ---------------------------------------------------------------------------
// The trap
// ---------------------------------------------------------------------------

struct Memory {
  std::map<uint32_t, uint8_t> bytes;
  static void Write(uint32_t a, uint8_t v, void* user) {
    static_cast<Memory*>(user)->bytes[a] = v;
  }
};

TEST(TapeTrap, CopiesTheBlockWhenTheLengthMatches) {
  const Bytes good = {0xFF, 1, 2, 3, 0xFF ^ 1 ^ 2 ^ 3};
  const Bytes bad = {0x00, 7, 8, 0x55};
  tape::TapePlayer p;
  p.Open(Image({good, bad}), 0);

  Memory m;
  tape::TrapRegisters r{tape::kTrapAddress, 4, 0xFFFE, 0, 0};
  EXPECT_FALSE(p.TapeTrapLoad(r, Memory::Write, &m));  // 4 is not 5 - 2
  EXPECT_TRUE(m.bytes.empty());
  EXPECT_EQ(r.PC, tape::kTrapAddress);

  r.DE = 3;
  ASSERT_TRUE(p.TapeTrapLoad(r, Memory::Write, &m));
  EXPECT_EQ(m.bytes, (std::map<uint32_t, uint8_t>{{0xFFFE, 1}, {0xFFFF, 2}, {0, 3}}));
  EXPECT_EQ(r.PC, tape::kTrapReturn);
  EXPECT_EQ(r.IX, 1);  // wrapped
  EXPECT_EQ(r.DE, 0);
  EXPECT_EQ(r.BC, 0xB001);
  EXPECT_EQ(r.HL, good.back());  // H = 0: checksum good
  EXPECT_EQ(p.BlockLength(), bad.size());

  r = {tape::kTrapAddress, 2, 0x8000, 0, 0};
  ASSERT_TRUE(p.TapeTrapLoad(r, Memory::Write, &m));
  EXPECT_NE(r.HL >> 8, 0);  // checksum wrong: the ROM reports the error
  EXPECT_EQ(p.BlockLength(), good.size());  // back to the first block
}

TEST(TapeTrap, TakenInsideABlockCopiesFromItsStart) {
  const Bytes block = {0xFF, 10, 20, 30, 40, 0xFF ^ 10 ^ 20 ^ 30 ^ 40};
  tape::TapePlayer p;
  p.Open(Image({block}), 0);
  uint64_t t = 0;
  while (p.PulseCount() < 2030) t += 40, p.TapeGetEarBit(t);  // inside the data
  Memory m;
  tape::TrapRegisters r{tape::kTrapAddress, 4, 0x9000, 0, 0};
  ASSERT_TRUE(p.TapeTrapLoad(r, Memory::Write, &m));
  EXPECT_EQ(m.bytes, (std::map<uint32_t, uint8_t>{{0x9000, 10}, {0x9001, 20}, {0x9002, 30},
                                                   {0x9003, 40}}));
  EXPECT_EQ(r.HL >> 8, 0);
}

}  // namespace
