// Hostile input for every reader: each prefix of a valid file and random
// corruptions must either read as a valid snapshot or be refused with a
// message, never read outside the file (run under AddressSanitizer).
#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "machine/snapshot_format.h"
#include "machine/tape_image.h"
#include "snapshot/snapshot_files.h"

namespace {

using snapfiles::Bytes;
using Reader = std::function<snapshot::ReadResult(std::span<const uint8_t>)>;

// A result the loader can apply without checking anything further.
void ExpectWellFormed(const snapshot::ReadResult& r) {
  if (!r.ok()) {
    EXPECT_FALSE(r.error.text.empty());
    EXPECT_FALSE(r.error.caption.empty());
    return;
  }
  for (const auto& p : r.snapshot->pages) {
    ASSERT_EQ(p.bytes.size(), snapshot::kPageSize);
    ASSERT_LT(p.ram_page, 8);
  }
  if (r.snapshot->patch) {
    ASSERT_LE(r.snapshot->patch->start + r.snapshot->patch->bytes.size(), 65536u);
  }
}

void Hammer(const Reader& read, const Bytes& valid, size_t corruptions) {
  ASSERT_TRUE(read(valid).ok());
  size_t accepted = 0;
  for (size_t n = 0; n < valid.size(); ++n) {
    // Every prefix as a view of the file; near the ends and at a stride as
    // an exact heap copy too, so that a read past the prefix is caught.
    auto r = read(std::span<const uint8_t>(valid.data(), n));
    ExpectWellFormed(r);
    if (n < 4096 || valid.size() - n < 4096 || n % 61 == 0) {
      Bytes prefix(valid.begin(), valid.begin() + static_cast<ptrdiff_t>(n));
      ExpectWellFormed(read(prefix));
    }
    accepted += r.ok();
  }
  std::mt19937 rng(static_cast<uint32_t>(valid.size()));
  for (size_t i = 0; i < corruptions; ++i) {
    Bytes bad = valid;
    const int flips = 1 + static_cast<int>(rng() % 8);
    for (int k = 0; k < flips; ++k) {
      // Headers hold the lengths and counts: hit them more often.
      size_t at = (rng() % 2) ? rng() % std::min<size_t>(bad.size(), 128) : rng() % bad.size();
      bad[at] = static_cast<uint8_t>(rng());
    }
    if (rng() % 4 == 0) bad.resize(rng() % bad.size());
    ExpectWellFormed(read(bad));
  }
  ::testing::Test::RecordProperty("accepted_prefixes", static_cast<int>(accepted));
}

TEST(HostileSnapshots, Z80) {
  snapfiles::Regs r;
  Hammer(snapshot::ReadZ80, snapfiles::Z80Version1(r, true, snapfiles::Sparse), 300);
  Hammer(snapshot::ReadZ80,
         snapfiles::Z80Version23(r, 2, 0, 0, snapfiles::Blocks({0, 8, 4, 5}), 0, snapfiles::Sparse),
         300);
  Hammer(snapshot::ReadZ80,
         snapfiles::Z80Version23(r, 3, 4, 0x11, snapfiles::Blocks({3, 4, 5, 6, 7, 8, 9, 10}), 255,
                                 snapfiles::Sparse),
         300);
  Hammer(snapshot::ReadZ80, snapfiles::Z80Version1(r, false, snapfiles::Sparse), 50);
}

TEST(HostileSnapshots, Sna) {
  Hammer(snapshot::ReadSNA, snapfiles::Sna({}, std::nullopt), 100);
  Hammer(snapshot::ReadSNA, snapfiles::Sna({}, 0x15, 1), 100);
}

// The largest 128K layout (the paged-in bank being 5 or 2, six more pages)
// is the most a .SNA can be; one byte more is refused, as is a tape beyond
// its largest size.
TEST(HostileSnapshots, FilesPastTheirLargestSizeAreRefused) {
  Bytes sna = snapfiles::Sna({}, 0x05);
  ASSERT_EQ(sna.size(), snapshot::kLargestSna);
  EXPECT_TRUE(snapshot::ReadSNA(sna).ok());
  sna.push_back(0);
  EXPECT_EQ(snapshot::ReadSNA(sna).error.text, "File corrupt!");
  EXPECT_EQ(tape::ReadTapeImage(Bytes(tape::kLargestTapeFile + 1, 0)).error, "File corrupt!");
  Bytes sp(snapshot::kLargestSp + 1, 0);
  sp[0] = 'S';
  sp[1] = 'P';
  EXPECT_EQ(snapshot::ReadSP(sp).error.text, "File corrupt!");
}

TEST(HostileSnapshots, SitSpZx) {
  Bytes sit(65564, 0x11);
  Hammer(snapshot::ReadSIT, sit, 100);
  Bytes sp(38 + 300, 0);
  sp[0] = 'S';
  sp[1] = 'P';
  snapfiles::Put16(sp, 2, 300);
  snapfiles::Put16(sp, 4, 0x3F00);
  Hammer(snapshot::ReadSP, sp, 500);
  Hammer(snapshot::ReadSP, Bytes(49184, 0x22), 100);
  Hammer(snapshot::ReadZX, Bytes(49486, 0x33), 100);
}

TEST(HostileTapes, PrefixesAndCorruptions) {
  Bytes tap = {19, 0, 0, 3, 'N', 'A', 'M', 'E', ' ', ' ', ' ', ' ', ' ', ' ', 5, 0, 0, 0, 0, 0, 0};
  tap.insert(tap.end(), {7, 0, 0xFF, 1, 2, 3, 4, 5, 6});
  Bytes tzx = {'Z', 'X', 'T', 'a', 'p', 'e', '!', 0x1A, 1, 20};
  tzx.insert(tzx.end(), {0x30, 3, 'a', 'b', 'c', 0x20, 0x10, 0x00, 0x10, 0xE8, 0x03, 4, 0, 1, 2, 3, 4});
  tzx.insert(tzx.end(), {0x32, 2, 0, 9, 9, 0x35});
  tzx.insert(tzx.end(), 16, 'x');
  tzx.insert(tzx.end(), {1, 0, 0, 0, 7});
  for (const Bytes& valid : {tap, tzx}) {
    ASSERT_TRUE(tape::ReadTapeImage(valid).ok());
    std::mt19937 rng(7);
    for (size_t i = 0; i < valid.size() + 400; ++i) {
      Bytes bad(valid.begin(), valid.begin() + static_cast<ptrdiff_t>(std::min(i, valid.size())));
      if (i >= valid.size()) {
        bad = valid;
        bad[rng() % bad.size()] = static_cast<uint8_t>(rng());
      }
      auto r = tape::ReadTapeImage(bad);
      if (!r.ok()) {
        EXPECT_FALSE(r.error.empty());
        continue;
      }
      ASSERT_FALSE(r.image->blocks.empty());
      for (const auto& b : r.image->blocks) {
        ASSERT_GT(b.length, 0u);
        ASSERT_LE(b.offset + b.length, r.image->bytes.size());
      }
    }
  }
}

}  // namespace
