// Truncated and corrupted images through the readers: each either loads a
// whole disk or is refused with nothing built. Run under AddressSanitizer
// this also shows that no reader reads outside its file.
#include <gtest/gtest.h>

#include <random>

#include "disk/formats.h"
#include "disk_test_util.h"

using namespace disk;

namespace {

void ExpectWholeOrNothing(const LoadResult& r, SaveFn save) {
  if (!r.Ok) {
    EXPECT_TRUE(r.Disk.Empty());
    return;
  }
  ASSERT_FALSE(r.Disk.Empty());
  for (int c = 0; c < r.Disk.Cylinders(); ++c)
    for (int s = 0; s < r.Disk.Sides(); ++s) ASSERT_NE(r.Disk.Track(c, s), nullptr) << c << "/" << s;
  // What loads can be written back in its own format.
  EXPECT_TRUE(save(r.Disk));
}

struct Reader {
  const char* name;
  LoadFn load;
  SaveFn save;
  std::vector<uint8_t> valid;
};

std::vector<Reader> Readers() {
  std::vector<uint8_t> trd(2 * 8192);
  for (size_t k = 0; k < trd.size(); ++k) trd[k] = static_cast<uint8_t>(k * 7);
  const auto scl = disk_test::MakeScl({{"one     ", 'B', 5, 5, 3, 1},
                                       {"\x01two    ", 'C', 0, 9, 17, 2},
                                       {"three   ", 'D', 9, 0, 0, 3}});
  return {{"trd", &LoadTrd, &SaveTrd, trd}, {"scl", &LoadScl, &SaveScl, scl}};
}

}  // namespace

TEST(ReaderCorruption, EveryTruncation) {
  for (const Reader& rd : Readers()) {
    SCOPED_TRACE(rd.name);
    LoadOptions options;
    options.AddBoot = true;
    std::vector<size_t> lengths;
    for (size_t len = 0; len < rd.valid.size(); len += (len < 600 ? 1 : 97)) lengths.push_back(len);
    if (rd.valid.size() > 8192) lengths.push_back(8192);
    lengths.push_back(rd.valid.size() - 1);
    for (size_t len : lengths) {
      std::vector<uint8_t> cut(rd.valid.begin(), rd.valid.begin() + static_cast<ptrdiff_t>(len));
      LoadResult r = rd.load(cut, options);
      // Only whole cylinders make a shorter TRD.
      const bool loads = rd.load == &LoadTrd && len > 0 && len % 8192 == 0;
      EXPECT_EQ(r.Ok, loads) << len;
      ExpectWholeOrNothing(r, rd.save);
    }
  }
}

TEST(ReaderCorruption, RandomDamage) {
  std::mt19937 rng(12345);
  for (const Reader& rd : Readers()) {
    SCOPED_TRACE(rd.name);
    for (int round = 0; round < 300; ++round) {
      std::vector<uint8_t> file = rd.valid;
      const int hits = 1 + static_cast<int>(rng() % 8);
      for (int h = 0; h < hits; ++h) {
        // Headers and counts are where damage matters most.
        const size_t at = (rng() % 2) ? rng() % std::min<size_t>(file.size(), 64) : rng() % file.size();
        file[at] = static_cast<uint8_t>(rng());
      }
      if (rng() % 4 == 0) file.resize(rng() % (file.size() + 1));
      if (rng() % 8 == 0) file.resize(file.size() + rng() % 3000, static_cast<uint8_t>(rng()));
      LoadOptions options;
      options.AddBoot = rng() % 2;
      ExpectWholeOrNothing(rd.load(file, options), rd.save);
    }
  }
}
