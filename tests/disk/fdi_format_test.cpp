#include <gtest/gtest.h>

#include "disk/formats.h"
#include "format_test_util.h"

using namespace disk;
using namespace format_test;

namespace {

struct FdiSector {
  uint8_t c, h, r, n, flags;
  std::vector<uint8_t> data;  // stored in the data area whatever the flags
};

// An FDI file laid out by hand: header, extra bytes, track headers, a short
// text and the data area.
std::vector<uint8_t> MakeFdi(int cylinders, int heads,
                             const std::vector<std::vector<FdiSector>>& tracks, size_t extra = 0) {
  std::vector<uint8_t> headers, data;
  for (int t = 0; t < cylinders * heads; ++t) {
    const auto& list = tracks[static_cast<size_t>(t) % tracks.size()];
    Put32(headers, static_cast<uint32_t>(data.size()));
    Put16(headers, 0);
    headers.push_back(static_cast<uint8_t>(list.size()));
    uint32_t offset = 0;
    for (const FdiSector& s : list) {
      for (uint8_t b : {s.c, s.h, s.r, s.n, s.flags}) headers.push_back(b);
      Put16(headers, offset);
      data.insert(data.end(), s.data.begin(), s.data.end());
      offset += static_cast<uint32_t>(s.data.size());
    }
  }
  std::vector<uint8_t> f = {'F', 'D', 'I', 1};
  Put16(f, static_cast<uint32_t>(cylinders));
  Put16(f, static_cast<uint32_t>(heads));
  const size_t text = 14 + extra + headers.size();
  Put16(f, static_cast<uint32_t>(text));
  Put16(f, static_cast<uint32_t>(text + 4));
  Put16(f, static_cast<uint32_t>(extra));
  f.insert(f.end(), extra, 0xEE);
  f.insert(f.end(), headers.begin(), headers.end());
  for (char ch : {'t', 'e', 'x', 't'}) f.push_back(static_cast<uint8_t>(ch));
  f.insert(f.end(), data.begin(), data.end());
  return f;
}

std::vector<std::vector<FdiSector>> FlagTrack() {
  return {{
      {0, 0, 1, 1, 0x02, Pattern(256, 1)},         // plain, good CRC
      {0, 0, 2, 1, 0x82, Pattern(256, 2)},         // deleted mark, good CRC
      {0, 0, 3, 1, 0x40, {}},                      // no data field
      {0, 0, 4, 1, 0x00, Pattern(256, 4)},         // bad CRC
      {7, 9, 5, 0, 0x01, Pattern(128, 5)},         // foreign ID, 128 bytes
      {0, 0, 6, 2, 0x10, Pattern(512, 6)},         // a CRC bit of another size still means good
      {0, 0, 7, 0x47, 0x40, {}},                   // no data: its size code is never used
  }};
}

}  // namespace

TEST(Fdi, SectorFlagsBecomeFieldsAndSurviveARoundTrip) {
  const auto file = MakeFdi(2, 2, FlagTrack());
  LoadResult r = LoadFdi(file, {});
  ASSERT_TRUE(r.Ok);
  EXPECT_EQ(r.Disk.MaxCylinder, 1);
  EXPECT_EQ(r.Disk.MaxSide, 1);

  struct Expect {
    uint8_t r;
    bool data;
    uint8_t mark;
    bool crc;
    size_t size;
  };
  const Expect expects[] = {{1, true, 0xFB, true, 256},  {2, true, 0xF8, true, 256},
                            {3, false, 0, false, 0},     {4, true, 0xFB, false, 256},
                            {5, true, 0xFB, true, 128},  {6, true, 0xFB, true, 512},
                            {7, false, 0, false, 0}};
  for (const Expect& e : expects) {
    SCOPED_TRACE(int{e.r});
    const SectorView v = ReadSector(r.Disk, 1, 1, e.r);
    EXPECT_TRUE(v.found);
    EXPECT_EQ(v.dataFound, e.data);
    if (!e.data) continue;
    EXPECT_EQ(v.mark, e.mark);
    EXPECT_EQ(v.crcOk, e.crc);
    EXPECT_EQ(v.data, Pattern(e.size, e.r));
  }

  // Our own file comes back byte for byte, and keeps every flag.
  auto saved = SaveFdi(r.Disk);
  ASSERT_TRUE(saved);
  LoadResult again = LoadFdi(*saved, {});
  ASSERT_TRUE(again.Ok);
  EXPECT_EQ(Describe(again.Disk), Describe(r.Disk));
  EXPECT_EQ(SaveFdi(again.Disk), saved);

  // The writer's flags: deleted bit, no-data bit, the CRC bit of the size.
  const auto& f = *saved;
  const size_t firstTrack = 14;
  EXPECT_EQ(f[firstTrack + 6], 7);
  const uint8_t wanted[] = {0x02, 0x82, 0x40, 0x00, 0x01, 0x04, 0x40};
  for (size_t k = 0; k < 7; ++k) EXPECT_EQ(f[firstTrack + 7 + k * 7 + 4], wanted[k]) << k;
  EXPECT_EQ(f[3], 0);  // write-protect byte
  const size_t text = f[8] | f[9] << 8, data = f[10] | f[11] << 8;
  EXPECT_EQ(data, text + 106);
  EXPECT_EQ(text, 14 + 4 * (7 + 7 * 7));
}

TEST(Fdi, RefusedInputs) {
  const std::vector<std::vector<FdiSector>> one = {{{0, 0, 1, 1, 0x02, Pattern(256, 1)}}};
  const auto good = MakeFdi(1, 1, one);
  auto patched = [&](size_t at, std::vector<uint8_t> bytes) {
    auto f = good;
    for (size_t k = 0; k < bytes.size(); ++k) f.at(at + k) = bytes[k];
    return f;
  };
  auto cut = [&](size_t len) { return std::vector<uint8_t>(good.begin(), good.begin() + static_cast<ptrdiff_t>(len)); };
  struct Case {
    const char* name;
    std::vector<uint8_t> file;
    DiskMessage error;
  };
  std::vector<Case> cases = {
      {"13 bytes", cut(13), DiskMessage::Truncated},
      {"magic", patched(0, {'F', 'D', 'X'}), DiskMessage::FdiFormat},
      {"0 cylinders", patched(4, {0, 0}), DiskMessage::TooManyCylinders},
      {"257 cylinders", patched(4, {1, 1}), DiskMessage::TooManyCylinders},
      {"0 heads", patched(6, {0, 0}), DiskMessage::TooManySides},
      {"257 heads", patched(6, {1, 1}), DiskMessage::TooManySides},
      {"track table past the end", patched(4, {9, 0}), DiskMessage::Truncated},
      {"extra header past the end", patched(12, {0xFF, 0x7F}), DiskMessage::Truncated},
      {"track offset past the end", patched(14, {0xFF, 0xFF, 0xFF, 0xFF}), DiskMessage::Truncated},
      {"data offset plus track offset wraps 32 bits", patched(10, {0xFF, 0xFF}), DiskMessage::Truncated},
      {"sector starts inside, ends outside", cut(good.size() - 1), DiskMessage::Truncated},
      {"sector offset past the end", patched(14 + 7 + 5, {0x10, 0}), DiskMessage::Truncated},
      {"size code 7 with data", patched(14 + 7 + 3, {7}), DiskMessage::ImpossibleTrack},
      {"size code 255 with data", patched(14 + 7 + 3, {255}), DiskMessage::ImpossibleTrack},
  };
  // Too many sectors for a 6250-byte track.
  std::vector<FdiSector> many;
  for (int k = 0; k < 12; ++k) many.push_back({0, 0, static_cast<uint8_t>(k + 1), 2, 0x04, Pattern(512, k)});
  cases.push_back({"twelve 512-byte sectors", MakeFdi(1, 1, {many}), DiskMessage::ImpossibleTrack});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ExpectRefused(LoadFdi(c.file, {}), c.error);
  }
}

TEST(Fdi, AcceptedEdges) {
  // 256 cylinders, an extra header that is skipped, a sector without data
  // whose offset and size point nowhere, eleven 512-byte sectors.
  std::vector<FdiSector> eleven;
  for (int k = 0; k < 11; ++k) eleven.push_back({0, 0, static_cast<uint8_t>(k + 1), 2, 0x04, Pattern(512, k)});
  const std::vector<std::vector<FdiSector>> tracks = {{{1, 2, 3, 0xFF, 0x40, {}}}, eleven};
  LoadResult r = LoadFdi(MakeFdi(256, 1, tracks, 5), {});
  ASSERT_TRUE(r.Ok);
  EXPECT_EQ(r.Disk.MaxCylinder, 255);
  EXPECT_FALSE(ReadSector(r.Disk, 0, 0, 3).dataFound);
  EXPECT_TRUE(ReadSector(r.Disk, 0, 0, 3).found);
  for (uint8_t k = 1; k <= 11; ++k) EXPECT_EQ(ReadSector(r.Disk, 255, 0, k).data, Pattern(512, k - 1u));
}

TEST(Fdi, WriterRefusesWhatItCannotHold) {
  // 256 IDs on one track: the count is a byte.
  RawTrack many;
  for (int k = 0; k < 256; ++k) {
    many.Gap(1);
    for (int a = 0; a < 3; ++a) many.data.push_back(0xA1), many.marks.push_back(0xFF);
    const uint8_t id[] = {0xFE, 0, 0, static_cast<uint8_t>(k), 0};
    std::vector<uint8_t> field(many.data.end() - 3, many.data.end());
    field.insert(field.end(), id, id + 5);
    const uint16_t crc = CrcCcitt(field, 0, field.size());
    for (uint8_t b : id) many.data.push_back(b), many.marks.push_back(0);
    many.data.push_back(static_cast<uint8_t>(crc >> 8)), many.marks.push_back(0);
    many.data.push_back(static_cast<uint8_t>(crc)), many.marks.push_back(0);
  }
  TDiskContents disk(1, 1);
  PutTrack(disk, 0, 0, many.Build());
  EXPECT_EQ(WalkTrackIds(disk, 0, 0, 1000).Ids.size(), 256u);
  EXPECT_FALSE(SaveFdi(disk));

  // Sector offsets past 16 bits: nine 8192-byte data fields overlapping
  // around a ring start at 8 x 8192. The track holds them, so they are
  // readable data the format cannot store.
  RawTrack big;
  for (uint8_t k = 1; k <= 9; ++k) big.Id(0, 0, k, 6).DataField(0xFB, {1, 2, 3});
  TDiskContents wide(1, 1);
  PutTrack(wide, 0, 0, big.Build(65535));
  EXPECT_FALSE(SaveFdi(wide));
}

TEST(Fdi, HostileInput) {
  std::vector<std::vector<FdiSector>> tracks = FlagTrack();
  tracks.push_back({{1, 0, 1, 3, 0x08, Pattern(1024, 3)}, {1, 0, 2, 0, 0x01, Pattern(128, 4)}});
  Hostile(&LoadFdi, &SaveFdi, MakeFdi(2, 2, tracks));
  Hostile(&LoadFdi, &SaveFdi, *SaveFdi(FormatTrdos(3, 2)));
}
