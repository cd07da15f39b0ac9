#include <gtest/gtest.h>

#include <cstring>

#include "disk/formats.h"
#include "format_test_util.h"

using namespace disk;
using namespace format_test;

namespace {

struct FddSector {
  uint8_t c, h, r, n;
  std::vector<uint8_t> data;
};

// An FDD file laid out by hand: every track's records, then its data.
std::vector<uint8_t> MakeFdd(int cylinders, int sides, const std::vector<std::vector<FddSector>>& tracks) {
  std::vector<uint8_t> f(36 + 4 * static_cast<size_t>(cylinders * sides), 0);
  std::memcpy(f.data(), "made by hand for the tests", 26);
  f[30] = static_cast<uint8_t>(cylinders);
  f[31] = static_cast<uint8_t>(sides);
  for (int t = 0; t < cylinders * sides; ++t) {
    const auto& list = tracks[static_cast<size_t>(t) % tracks.size()];
    const uint32_t at = static_cast<uint32_t>(f.size());
    std::memcpy(f.data() + 36 + 4 * t, &at, 4);
    f.push_back(0);
    f.push_back(static_cast<uint8_t>(list.size()));
    size_t data = f.size() + 8 * list.size();
    for (const FddSector& s : list) {
      for (uint8_t b : {s.c, s.h, s.r, s.n}) f.push_back(b);
      Put32(f, static_cast<uint32_t>(data));
      data += s.data.size();
    }
    for (const FddSector& s : list) f.insert(f.end(), s.data.begin(), s.data.end());
  }
  if (f.size() < 4132) f.resize(4132, 0);
  return f;
}

}  // namespace

TEST(Fdd, EverySizeCodeSurvivesARoundTrip) {
  // Size codes 0 to 5, the largest a track holds; codes 4 and 5 used to come
  // back cut to a quarter.
  std::vector<std::vector<FddSector>> tracks;
  for (uint8_t n = 0; n <= 5; ++n) {
    std::vector<FddSector> list;
    const int count = n <= 1 ? 9 : (n <= 3 ? 3 : 1);
    for (int k = 0; k < count; ++k)
      list.push_back({n, 1, static_cast<uint8_t>(k + 1), n, Pattern(size_t{128} << n, n * 16u + k)});
    tracks.push_back(list);
  }
  const auto file = MakeFdd(3, 2, tracks);
  LoadResult r = LoadFdd(file, {});
  ASSERT_TRUE(r.Ok);
  EXPECT_EQ(r.Disk.MaxCylinder, 2);
  EXPECT_EQ(r.Disk.MaxSide, 1);
  for (uint8_t n = 0; n <= 5; ++n) {
    const SectorView v = ReadSector(r.Disk, n / 2, n % 2, 1);
    ASSERT_TRUE(v.dataFound) << int{n};
    EXPECT_EQ(v.mark, 0xFB);
    EXPECT_TRUE(v.crcOk);
    EXPECT_EQ(v.data, Pattern(size_t{128} << n, n * 16u)) << int{n};
  }
  auto saved = SaveFdd(r.Disk);
  ASSERT_TRUE(saved);
  LoadResult again = LoadFdd(*saved, {});
  ASSERT_TRUE(again.Ok);
  EXPECT_EQ(Describe(again.Disk), Describe(r.Disk));
  EXPECT_EQ(SaveFdd(again.Disk), saved);
}

TEST(Fdd, SmallDisksAndMissingDataFields) {
  // One short track: the writer pads the file to the length the reader
  // wants; a sector without a data field gets the error text.
  RawTrack raw;
  raw.Id(0, 0, 1, 0).DataField(0xFB, Pattern(128, 3)).Id(0, 0, 2, 1);
  TDiskContents disk(1, 1);
  PutTrack(disk, 0, 0, raw.Build());
  auto saved = SaveFdd(disk);
  ASSERT_TRUE(saved);
  EXPECT_EQ(saved->size(), 4132u);
  LoadResult r = LoadFdd(*saved, {});
  ASSERT_TRUE(r.Ok);
  EXPECT_EQ(ReadSector(r.Disk, 0, 0, 1).data, Pattern(128, 3));
  const SectorView missing = ReadSector(r.Disk, 0, 0, 2);
  ASSERT_EQ(missing.data.size(), 256u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(missing.data.data())),
            "***ERROR: SECTOR NOT FOUND!***");
  EXPECT_EQ(missing.data[255], 0);

  saved->pop_back();
  ExpectRefused(LoadFdd(*saved, {}), DiskMessage::Truncated);
}

TEST(Fdd, RefusedInputs) {
  const std::vector<std::vector<FddSector>> two = {
      {{0, 0, 1, 1, Pattern(256, 1)}, {0, 0, 2, 1, Pattern(256, 2)}}};
  const auto good = MakeFdd(1, 1, two);
  const size_t track = 40;  // the only track record
  const uint32_t inside = static_cast<uint32_t>(good.size() - 255);  // starts inside, ends outside
  auto patched = [&](size_t at, std::vector<uint8_t> bytes) {
    auto f = good;
    for (size_t k = 0; k < bytes.size(); ++k) f.at(at + k) = bytes[k];
    return f;
  };
  ASSERT_TRUE(LoadFdd(good, {}).Ok);
  // A track record four bytes before the end, with one sector record.
  const uint32_t nearEnd = static_cast<uint32_t>(good.size() - 4);
  auto recordsCut = patched(36, {static_cast<uint8_t>(nearEnd), static_cast<uint8_t>(nearEnd >> 8), 0, 0});
  recordsCut[nearEnd + 1] = 1;
  ASSERT_TRUE(LoadFdd(patched(track + 2 + 8 + 4, {static_cast<uint8_t>(inside - 1), static_cast<uint8_t>((inside - 1) >> 8), 0, 0}), {}).Ok);
  std::vector<FddSector> many;
  for (int k = 0; k < 12; ++k) many.push_back({0, 0, static_cast<uint8_t>(k + 1), 2, Pattern(512, k)});
  struct Case {
    const char* name;
    std::vector<uint8_t> file;
    DiskMessage error;
  };
  const Case cases[] = {
      {"3 sides", patched(31, {3}), DiskMessage::TooManySides},
      {"0 sides", patched(31, {0}), DiskMessage::TooManySides},
      {"0 cylinders", patched(30, {0}), DiskMessage::TooManyCylinders},
      {"track offset past the end", patched(36, {0xFF, 0xFF, 0xFF, 0}), DiskMessage::Truncated},
      {"records past the end", recordsCut, DiskMessage::Truncated},
      {"first sector's data past the end", patched(track + 2 + 4, {0xFF, 0xFF, 0, 0}), DiskMessage::Truncated},
      {"last sector's data ends past the end", patched(track + 2 + 8 + 4, {static_cast<uint8_t>(inside), static_cast<uint8_t>(inside >> 8), 0, 0}),
       DiskMessage::Truncated},
      {"offset near 4 GB", patched(track + 2 + 4, {0xFF, 0xFF, 0xFF, 0xFF}), DiskMessage::Truncated},
      {"size code 7", patched(track + 2 + 3, {7}), DiskMessage::ImpossibleTrack},
      {"size code 255", patched(track + 2 + 3, {255}), DiskMessage::ImpossibleTrack},
      {"twelve 512-byte sectors", MakeFdd(1, 1, {many}), DiskMessage::ImpossibleTrack},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ExpectRefused(LoadFdd(c.file, {}), c.error);
  }
}

TEST(Fdd, WriterRefusesWhatTheFormatCannotHold) {
  EXPECT_FALSE(SaveFdd(FormatTrdos(256, 1)));   // cylinders are one byte
  EXPECT_FALSE(SaveFdd(FormatTrdos(2, 3)));     // the reader takes at most two sides
  EXPECT_TRUE(SaveFdd(FormatTrdos(255, 2)));
  RawTrack big;
  big.Id(0, 0, 1, 7).DataField(0xFB, {1});      // a size the reader refuses
  TDiskContents disk(1, 1);
  PutTrack(disk, 0, 0, big.Build());
  EXPECT_FALSE(SaveFdd(disk));
}

TEST(Fdd, HostileInput) {
  Hostile(&LoadFdd, &SaveFdd, MakeFdd(2, 2, {{{0, 0, 1, 1, Pattern(256, 1)}, {0, 0, 2, 3, Pattern(1024, 2)}}, {}}));
  Hostile(&LoadFdd, &SaveFdd, *SaveFdd(FormatTrdos(3, 2)));
}
