#include <gtest/gtest.h>

#include "disk/formats.h"
#include "format_test_util.h"
#include "lzhuf_test_encoder.h"

using namespace disk;
using namespace format_test;

namespace {

uint16_t SlowTd0Crc(const std::vector<uint8_t>& bytes, size_t from, size_t to) {
  uint16_t crc = 0;
  for (size_t k = from; k < to; ++k) {
    for (int b = 7; b >= 0; --b) {
      const bool in = ((bytes[k] >> b) & 1) != 0;
      const bool top = (crc & 0x8000) != 0;
      crc = static_cast<uint16_t>(crc << 1);
      if (in != top) crc ^= 0xA097;
    }
  }
  return crc;
}

struct Sec {
  uint8_t c, h, r, n;
  std::vector<uint8_t> block;  // encoding byte and what follows
};
struct Trk {
  uint8_t cylinder, head;
  std::vector<Sec> sectors;
};

std::vector<uint8_t> Plain(const std::vector<uint8_t>& data) {
  std::vector<uint8_t> b = {0};
  b.insert(b.end(), data.begin(), data.end());
  return b;
}
std::vector<uint8_t> Repeat(uint16_t count, uint8_t a, uint8_t b) {
  return {1, static_cast<uint8_t>(count), static_cast<uint8_t>(count >> 8), a, b};
}

std::vector<uint8_t> Header(const char* magic = "TD", uint8_t version = 21, uint8_t stepping = 0,
                            uint8_t dos = 0) {
  std::vector<uint8_t> h = {static_cast<uint8_t>(magic[0]), static_cast<uint8_t>(magic[1]), 0, 0, version, 2, 3,
                            stepping, dos, 2};
  Put16(h, SlowTd0Crc(h, 0, 10));
  return h;
}

std::vector<uint8_t> Comment(const std::string& text, bool goodCrc = true) {
  std::vector<uint8_t> c;
  Put16(c, static_cast<uint32_t>(text.size()));
  for (uint8_t b : {26, 1, 2, 3, 4, 5}) c.push_back(b);
  c.insert(c.end(), text.begin(), text.end());
  std::vector<uint8_t> out;
  out.reserve(2 + c.size());
  Put16(out, static_cast<uint32_t>(SlowTd0Crc(c, 0, c.size()) ^ (goodCrc ? 0 : 1)));
  out.insert(out.end(), c.begin(), c.end());
  return out;
}

std::vector<uint8_t> Tracks(const std::vector<Trk>& tracks, bool endMarker = true) {
  std::vector<uint8_t> b;
  for (const Trk& t : tracks) {
    b.insert(b.end(), {static_cast<uint8_t>(t.sectors.size()), t.cylinder, t.head, 0x5A});
    for (const Sec& s : t.sectors) {
      b.insert(b.end(), {s.c, s.h, s.r, s.n, 0, 0});
      Put16(b, static_cast<uint32_t>(s.block.size()));
      b.insert(b.end(), s.block.begin(), s.block.end());
    }
  }
  if (endMarker) b.insert(b.end(), {0xFF, 0, 0, 0});
  return b;
}

std::vector<uint8_t> Join(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Every encoding and the sectors without data on two cylinders, with a gap.
std::vector<Trk> Sample() {
  std::vector<uint8_t> runs = {2, 0, 3, 'a', 'b', 'c', 1, 2, 0xE5, 0x5E, 0, 1, 'z'};
  return {
      {0, 0,
       {{0, 0, 1, 1, Plain(Pattern(256, 1))},
        {0, 0, 2, 1, Repeat(128, 0xE5, 0xE5)},
        {0, 0, 3, 1, runs},
        {0, 0, 4, 1, Plain({9, 8, 7})},          // short: the rest is 0
        {0, 0, 5, 7, {0}},                       // no data field: its size is never used
        {0, 0, 6, 0, Plain(Pattern(128, 6))}}},
      {2, 1, {{2, 1, 1, 2, Plain(Pattern(512, 9))}}},
      {1, 0, {}},
  };
}

void CheckSample(const TDiskContents& d) {
  EXPECT_EQ(d.MaxCylinder, 2);
  EXPECT_EQ(d.MaxSide, 1);
  EXPECT_EQ(ReadSector(d, 0, 0, 1).data, Pattern(256, 1));
  EXPECT_EQ(ReadSector(d, 0, 0, 2).data, std::vector<uint8_t>(256, 0xE5));
  std::vector<uint8_t> runs(256, 0);
  const uint8_t head[] = {'a', 'b', 'c', 0xE5, 0x5E, 0xE5, 0x5E, 'z'};
  std::copy(head, head + 8, runs.begin());
  EXPECT_EQ(ReadSector(d, 0, 0, 3).data, runs);
  std::vector<uint8_t> shortData(256, 0);
  shortData[0] = 9, shortData[1] = 8, shortData[2] = 7;
  EXPECT_EQ(ReadSector(d, 0, 0, 4).data, shortData);
  EXPECT_TRUE(ReadSector(d, 0, 0, 5).found);
  EXPECT_FALSE(ReadSector(d, 0, 0, 5).dataFound);
  EXPECT_EQ(ReadSector(d, 0, 0, 6).data, Pattern(128, 6));
  const SectorView far = ReadSector(d, 2, 1, 1);
  EXPECT_EQ(far.data, Pattern(512, 9));
  EXPECT_EQ(far.mark, 0xFB);
  EXPECT_TRUE(far.crcOk);
  // Tracks not listed stay absent; a listed track without sectors is blank.
  EXPECT_EQ(d.Track(0, 1), nullptr);
  EXPECT_EQ(d.Track(2, 0), nullptr);
  ASSERT_NE(d.Track(1, 0), nullptr);
  TSectorInfo info;
  EXPECT_FALSE(FindNextId(d, 1, 0, 0, info));
}

}  // namespace

TEST(Td0, Crc16) {
  const std::vector<uint8_t> digits = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
  EXPECT_EQ(Td0Crc16(digits), 0x0FB3);
  EXPECT_EQ(SlowTd0Crc(digits, 0, digits.size()), 0x0FB3);
}

TEST(Td0, EveryBlockEncodingAndVersion) {
  for (uint8_t version : {10, 15, 21}) {
    SCOPED_TRACE(int{version});
    LoadResult r = LoadTd0(Join(Header("TD", version), Tracks(Sample())), {});
    ASSERT_TRUE(r.Ok);
    CheckSample(r.Disk);
  }
  // With a comment.
  LoadResult r = LoadTd0(Join(Join(Header("TD", 21, 0x80), Comment("made for a test")), Tracks(Sample())), {});
  ASSERT_TRUE(r.Ok);
  CheckSample(r.Disk);
  // The end of the data at a track boundary ends the image too.
  LoadResult open = LoadTd0(Join(Header(), Tracks(Sample(), false)), {});
  ASSERT_TRUE(open.Ok);
  CheckSample(open.Disk);
}

TEST(Td0, CompressedImagesDecodeToTheSameDisk) {
  const auto body = Join(Comment("compressed"), Tracks(Sample()));
  const LoadResult plain = LoadTd0(Join(Header("TD", 21, 0x80), body), {});
  ASSERT_TRUE(plain.Ok);
  for (uint8_t version : {20, 21}) {
    SCOPED_TRACE(int{version});
    LoadResult r = LoadTd0(Join(Header("td", version, 0x80), lzhuf_test::Compress(body)), {});
    ASSERT_TRUE(r.Ok);
    EXPECT_EQ(Describe(r.Disk), Describe(plain.Disk));
    CheckSample(r.Disk);
  }
  // A full disk of real-looking data, compressed.
  std::vector<Trk> many;
  for (uint8_t c = 0; c < 40; ++c)
    for (uint8_t h = 0; h < 2; ++h) {
      Trk t{c, h, {}};
      for (uint8_t s = 1; s <= 16; ++s)
        t.sectors.push_back({c, 0, s, 1, Plain(Pattern(256, (c * 2u + h) % 7 + s))});
      many.push_back(t);
    }
  const auto bigBody = Tracks(many);
  const LoadResult bigPlain = LoadTd0(Join(Header("TD"), bigBody), {});
  const LoadResult bigPacked = LoadTd0(Join(Header("td"), lzhuf_test::Compress(bigBody)), {});
  ASSERT_TRUE(bigPlain.Ok);
  ASSERT_TRUE(bigPacked.Ok);
  EXPECT_EQ(Describe(bigPacked.Disk), Describe(bigPlain.Disk));
  EXPECT_EQ(bigPacked.Disk.MaxCylinder, 39);
}

TEST(Td0, RefusedInputs) {
  const auto good = Join(Header(), Tracks(Sample()));
  auto sector = [](std::vector<uint8_t> block, uint8_t n = 1) {
    return Join(Header(), Tracks({{0, 0, {{0, 0, 1, n, std::move(block)}}}}));
  };
  std::vector<Sec> twelve;
  for (uint8_t k = 1; k <= 12; ++k) twelve.push_back({0, 0, k, 2, Plain(Pattern(512, k))});
  // Decompressed output beyond twice the file and 1.5 MB.
  auto bomb = Tracks(Sample());
  bomb.resize(bomb.size() + 1700000, 0);
  std::vector<Trk> repeated(1300, Trk{0, 0, {{0, 0, 1, 5, Repeat(0, 0, 0)}}});
  struct Case {
    const char* name;
    std::vector<uint8_t> file;
    DiskMessage error;
  };
  const Case cases[] = {
      {"11 bytes", std::vector<uint8_t>(good.begin(), good.begin() + 11), DiskMessage::Truncated},
      {"magic", Join(Header("Td"), Tracks(Sample())), DiskMessage::Td0Format},
      {"header CRC", [&] { auto f = good; f[10] ^= 1; return f; }(), DiskMessage::Td0Crc},
      {"version 9", Join(Header("TD", 9), Tracks(Sample())), DiskMessage::Td0Version},
      {"version 22", Join(Header("TD", 22), Tracks(Sample())), DiskMessage::Td0Version},
      {"DOS allocation", Join(Header("TD", 21, 0, 1), Tracks(Sample())), DiskMessage::Td0DosAllocated},
      {"compressed version 19", Join(Header("td", 19), lzhuf_test::Compress(Tracks(Sample()))),
       DiskMessage::Td0Format},
      {"comment CRC", Join(Join(Header("TD", 21, 0x80), Comment("x", false)), Tracks(Sample())),
       DiskMessage::Td0Format},
      {"comment past the end", Join(Header("TD", 21, 0x80), {0, 0, 0xFF, 0}), DiskMessage::Td0Format},
      {"block length 0", sector({}), DiskMessage::Td0Format},
      {"plain data past the sector", sector(Plain(Pattern(257, 0))), DiskMessage::Td0Format},
      {"pattern past the sector", sector(Repeat(129, 1, 2)), DiskMessage::Td0Format},
      {"pattern cut short", sector({1, 128, 0, 0xE5}), DiskMessage::Td0Format},
      {"literal run past the sector", sector({2, 0, 200, 0, 0, 200}, 0), DiskMessage::Td0Format},
      {"pattern run past the sector", sector({2, 1, 65, 1, 2}, 0), DiskMessage::Td0Format},
      {"run cut at the block's end", sector({2, 0, 5, 1, 2}), DiskMessage::Td0Format},
      {"run without its count", sector({2, 0}), DiskMessage::Td0Format},
      {"unknown run", sector({2, 2, 1, 0, 0}), DiskMessage::Td0Format},
      {"unknown encoding", sector({3, 0, 0}), DiskMessage::Td0Format},
      {"size code 7 with data", sector(Plain({1}), 7), DiskMessage::Td0Format},
      {"size code 255 with data", sector(Plain({1}), 255), DiskMessage::Td0Format},
      {"track cut in its header", std::vector<uint8_t>(good.begin(), good.begin() + 14), DiskMessage::Td0Format},
      {"track cut in a block", std::vector<uint8_t>(good.begin(), good.begin() + 100), DiskMessage::Td0Format},
      {"decompression past its bound", Join(Header("td"), lzhuf_test::Compress(bomb)), DiskMessage::Td0Format},
      {"decoded data past its bound", Join(Header(), Tracks(repeated)), DiskMessage::Td0Format},
      {"twelve 512-byte sectors", Join(Header(), Tracks({{0, 0, twelve}})), DiskMessage::ImpossibleTrack},
      {"twelve 512-byte sectors listed before the track's last listing",
       Join(Header(), Tracks({{0, 0, twelve}, {1, 0, {}}, {0, 0, {}}})), DiskMessage::ImpossibleTrack},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ExpectRefused(LoadTd0(c.file, {}), c.error);
  }
}

TEST(Td0, WrittenImagesLoadWithTheSameSectors) {
  // Sectors the writer must keep: duplicates of one ID with their own data,
  // a deleted mark (stored plainly), an ID without a data field, odd sizes.
  RawTrack raw;
  raw.Id(0, 0, 1, 1).DataField(0xFB, Pattern(256, 1));
  raw.Id(0, 0, 1, 1).DataField(0xFB, Pattern(256, 2));
  raw.Id(0, 0, 7, 0).DataField(0xF8, Pattern(128, 3));
  raw.Id(0, 0, 8, 3);
  raw.Id(0, 0, 9, 3).DataField(0xFB, Pattern(1024, 4));
  TDiskContents disk(2, 1);
  PutTrack(disk, 1, 0, raw.Build());

  auto saved = SaveTd0(disk);
  ASSERT_TRUE(saved);
  EXPECT_EQ((*saved)[4], 21);
  EXPECT_EQ(SlowTd0Crc(*saved, 0, 10), (*saved)[10] | (*saved)[11] << 8);
  LoadResult r = LoadTd0(*saved, {});
  ASSERT_TRUE(r.Ok);
  const auto walk = WalkTrackIds(r.Disk, 1, 0, 100);
  ASSERT_EQ(walk.Ids.size(), 5u);
  const std::vector<uint8_t> order = {1, 1, 7, 8, 9};
  for (size_t k = 0; k < 5; ++k) EXPECT_EQ(walk.Ids[k].IdByte(2), order[k]);
  EXPECT_EQ(ReadSector(r.Disk, 1, 0, 1).data, Pattern(256, 1));
  EXPECT_EQ(ReadSector(r.Disk, 1, 0, 1, walk.Ids[1].IdA1Pos).data, Pattern(256, 2));
  EXPECT_EQ(ReadSector(r.Disk, 1, 0, 7).data, Pattern(128, 3));
  EXPECT_EQ(ReadSector(r.Disk, 1, 0, 7).mark, 0xFB);
  EXPECT_FALSE(ReadSector(r.Disk, 1, 0, 8).dataFound);
  EXPECT_EQ(ReadSector(r.Disk, 1, 0, 9).data, Pattern(1024, 4));
  for (const auto& id : walk.Ids) EXPECT_TRUE(!id.DataFound || id.DataCrcOk);
  // The missing track of cylinder 0 comes back as a blank one.
  ASSERT_NE(r.Disk.Track(0, 0), nullptr);
  EXPECT_EQ(SaveTd0(r.Disk), saved);
}

TEST(Td0, ATrackListedAgainIsTheLastListing) {
  const std::vector<Trk> tracks = {{0, 0, {{0, 0, 1, 1, Plain(Pattern(256, 1))}}},
                                   {1, 0, {{1, 0, 1, 1, Plain(Pattern(256, 2))}}},
                                   {0, 0, {{0, 0, 2, 1, Plain(Pattern(256, 3))}}}};
  LoadResult r = LoadTd0(Join(Header(), Tracks(tracks)), {});
  ASSERT_TRUE(r.Ok);
  EXPECT_FALSE(ReadSector(r.Disk, 0, 0, 1).found);
  EXPECT_EQ(ReadSector(r.Disk, 0, 0, 2).data, Pattern(256, 3));
  EXPECT_EQ(ReadSector(r.Disk, 1, 0, 1).data, Pattern(256, 2));
}

TEST(Td0, DataReadAroundTheIndexIsWrittenAsRead) {
  // A data field across the index, and a track shorter than its sector so
  // that the data goes round it more than once.
  RawTrack across;
  across.Gap(40).Id(0, 0, 1, 1).DataField(0xFB, Pattern(256, 5));
  TTrack wrapped = across.Build();
  std::rotate(wrapped.Data.begin(), wrapped.Data.begin() + 200, wrapped.Data.end());
  std::rotate(wrapped.Marks.begin(), wrapped.Marks.begin() + 200, wrapped.Marks.end());
  RawTrack tiny;
  tiny.Id(0, 0, 1, 1).DataField(0xFB, Pattern(40, 6));
  for (TTrack track : {wrapped, tiny.Build(150)}) {
    TDiskContents disk(1, 1);
    const uint32_t length = track.Length();
    PutTrack(disk, 0, 0, std::move(track));
    const SectorView before = ReadSector(disk, 0, 0, 1);
    ASSERT_EQ(before.data.size(), 256u) << length;
    const auto saved = SaveTd0(disk);
    ASSERT_TRUE(saved) << length;
    LoadResult r = LoadTd0(*saved, {});
    ASSERT_TRUE(r.Ok) << length;
    EXPECT_EQ(ReadSector(r.Disk, 0, 0, 1).data, before.data) << length;
  }
}

// A count of 255 ends the tracks, so a track of more IDs cannot be stored
// whole: it is refused rather than written short of some IDs.
TEST(Td0, TracksOfMoreThan254IdsAreRefusedWhole) {
  for (const int ids : {254, 255, 256, 300}) {
    SCOPED_TRACE(ids);
    RawTrack raw;
    for (int k = 1; k < ids; ++k) raw.Gap(1).Id(0, 0, static_cast<uint8_t>(k), 0);
    // The last ID repeats R 5 with a data field, as a copier's layout does.
    raw.Id(0, 0, 5, 0).DataField(0xFB, Pattern(128, 5));
    TDiskContents disk(1, 1);
    PutTrack(disk, 0, 0, raw.Build(65535));
    const auto saved = SaveTd0(disk);
    if (ids > 254) {
      EXPECT_FALSE(saved);
      continue;
    }
    ASSERT_TRUE(saved);
    LoadResult r = LoadTd0(*saved, {});
    ASSERT_TRUE(r.Ok);
    EXPECT_EQ(Describe(r.Disk), Describe(disk));
  }
}

TEST(Td0, HostileInput) {
  const auto body = Join(Comment("hostile"), Tracks(Sample()));
  Hostile(&LoadTd0, &SaveTd0, Join(Header("TD", 21, 0x80), body));
  Hostile(&LoadTd0, &SaveTd0, Join(Header("td", 21, 0x80), lzhuf_test::Compress(body)));
}
