#include <gtest/gtest.h>

#include <cstddef>
#include <set>

#include "controller_ports.h"
#include "disk/formats.h"
#include "disk_test_util.h"
#include "format_test_util.h"
#include "lzhuf_test_encoder.h"
#include "platform/dialogs.h"
#include "platform/files.h"
#include "support/recording_dialogs.h"
#ifdef OVRIN_HAVE_LIBDSK
#include <libdsk.h>
#endif

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
  uint8_t flags = 0;           // with 0x10 or 0x20, no block follows
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
      b.insert(b.end(), {s.c, s.h, s.r, s.n, s.flags, 0});
      if (s.flags & 0x30) continue;
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

// libdsk, a TD0 reader of its own, must open the file, list every track's
// IDs as `ours` does, and read every sector that has data as ours. The test
// is skipped where libdsk is not installed.
void ExpectLibdskReadsTheSame(const std::string& path, const TDiskContents& ours) {
#ifndef OVRIN_HAVE_LIBDSK
  (void)path, (void)ours;
  GTEST_SKIP() << "libdsk is not installed (package libdsk4-dev)";
#else
  DSK_PDRIVER drive = nullptr;
  const dsk_err_t opened = dsk_open(&drive, path.c_str(), "tele", nullptr);
  ASSERT_EQ(opened, DSK_ERR_OK) << dsk_strerror(opened);
  DSK_GEOMETRY geometry{};
  EXPECT_EQ(dsk_getgeom(drive, &geometry), DSK_ERR_OK);
  const auto chr = [](unsigned c, unsigned h, unsigned r) {
    return std::to_string(c) + "," + std::to_string(h) + "," + std::to_string(r);
  };
  size_t read = 0;
  for (int c = 0; c < ours.Cylinders(); ++c) {
    for (int s = 0; s < ours.Sides(); ++s) {
      const auto walk = WalkTrackIds(ours, c, s, 1000);
      if (walk.Ids.empty()) continue;
      dsk_psect_t count = 0;
      DSK_FORMAT* ids = nullptr;
      ASSERT_EQ(dsk_ptrackids(drive, &geometry, c, s, &count, &ids), DSK_ERR_OK) << c << "/" << s;
      std::vector<std::string> theirs, mine;
      for (dsk_psect_t k = 0; k < count; ++k)
        theirs.push_back(chr(ids[k].fmt_cylinder, ids[k].fmt_head, ids[k].fmt_sector));
      dsk_free(ids);
      // Duplicates of an ID are found as their first.
      std::set<std::string> seen;
      for (const TSectorInfo& id : walk.Ids) {
        mine.push_back(chr(id.IdByte(0), id.IdByte(1), id.IdByte(2)));
        if (!id.DataFound || !id.DataFits || !seen.insert(mine.back()).second) continue;
        std::vector<uint8_t> data(id.DataSize), expected(id.DataSize);
        for (uint32_t k = 0; k < id.DataSize; ++k) expected[k] = id.DataByte(k);
        int deleted = 0;
        EXPECT_EQ(dsk_xread(drive, &geometry, data.data(), c, s, id.IdByte(0), id.IdByte(1), id.IdByte(2),
                            id.DataSize, &deleted),
                  DSK_ERR_OK)
            << c << "/" << s << " " << mine.back();
        EXPECT_EQ(data, expected) << c << "/" << s << " " << mine.back();
        ++read;
      }
      EXPECT_EQ(theirs, mine) << c << "/" << s;
    }
  }
  EXPECT_GT(read, 0u);
  dsk_close(&drive);
#endif
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

// Other tools mark an ID without data in its flags (0x10 not allocated, 0x20
// no data) and give it no block; earlier versions of this program gave it
// flags 0 and a block of only its encoding byte. Both are IDs without data.
TEST(Td0, IdsWithoutDataInTheCommonFormAndAsWrittenBefore) {
  const auto image = [](bool before) {
    const auto noData = [&](uint8_t r, uint8_t n, uint8_t flags) {
      return before ? Sec{5, 0, r, n, {0}} : Sec{5, 0, r, n, {}, flags};
    };
    std::vector<Trk> tracks;
    for (uint8_t c = 0; c < 80; ++c) {
      for (uint8_t h = 0; h < 2; ++h) {
        Trk t{c, h, {}};
        for (uint8_t r = 1; r <= 16; ++r)
          t.sectors.push_back({c, h, r, 1, Plain(Pattern(256, c * 32u + h * 16u + r))});
        if (c == 5 && h == 0)
          t.sectors.insert(t.sectors.begin() + 3, {noData(17, 1, 0x20), noData(18, 7, 0x10)});
        tracks.push_back(std::move(t));
      }
    }
    return Join(Header(), Tracks(tracks));
  };
  std::vector<std::vector<std::string>> described;
  for (const bool before : {false, true}) {
    SCOPED_TRACE(before ? "as written before" : "common form");
    const auto file = image(before);
    LoadResult r = LoadTd0(file, {});
    ASSERT_TRUE(r.Ok);
    for (int c = 0; c < 80; ++c)
      for (int h = 0; h < 2; ++h)
        for (uint8_t sector = 1; sector <= 16; ++sector)
          ASSERT_EQ(ReadSector(r.Disk, c, h, sector).data, Pattern(256, c * 32u + h * 16u + sector));
    for (const uint8_t sector : {17, 18}) {
      EXPECT_TRUE(ReadSector(r.Disk, 5, 0, sector).found);
      EXPECT_FALSE(ReadSector(r.Disk, 5, 0, sector).dataFound);
    }
    EXPECT_EQ(WalkTrackIds(r.Disk, 5, 0, 100).Ids[3].IdByte(2), 17);
    described.push_back(Describe(r.Disk));
    if (!before) {
      disk_test::TempDir dir;
      ASSERT_TRUE(platform::WriteFileAtomic(dir.File("common.td0"), file));
      ExpectLibdskReadsTheSame(dir.File("common.td0"), r.Disk);
    }
  }
  EXPECT_EQ(described[0], described[1]);
}

class Td0WriteBack : public ::testing::Test {
 protected:
  testing_support::ScopedDialogs<decltype(&platform::SetDialogs)> guard{&platform::SetDialogs};
  disk_test::TempDir dir;
};

// Disks written back through the controller, as a program leaves them: each
// file reopens here with the same IDs and data, and libdsk reads it alike.
TEST_F(Td0WriteBack, ReopensHereAndInLibdsk) {
  // 252 IDs without data, then R 5 with its data field. Bytes F5 to F7 are
  // marks to Write Track, so no R or data byte is one.
  std::vector<uint8_t> idsOnly;
  const auto put = [&](std::initializer_list<uint8_t> bytes) { idsOnly.insert(idsOnly.end(), bytes); };
  for (int k = 0, r = 6; k < 252; ++k, r = r == 0xF4 ? 0xF8 : (r + 1) & 0xFF)
    put({0x4E, 0x4E, 0, 0, 0, 0xF5, 0xF5, 0xF5, 0xFE, 1, 0, static_cast<uint8_t>(r), 1, 0xF7});
  put({0x4E, 0x4E, 0, 0, 0, 0xF5, 0xF5, 0xF5, 0xFE, 1, 0, 5, 1, 0xF7});
  put({0x4E, 0x4E, 0, 0, 0, 0xF5, 0xF5, 0xF5, 0xFB});
  for (int k = 0; k < 256; ++k) idsOnly.push_back(static_cast<uint8_t>(k % 0xF5));
  put({0xF7});
  idsOnly.resize(idsOnly.size() + 3000, 0x4E);  // more than the track takes

  enum Change { kNone, kIdsWithoutData, kSizeCode7, kTrdosSector };
  for (const Change change : {kNone, kIdsWithoutData, kSizeCode7, kTrdosSector}) {
    SCOPED_TRACE(change);
    const std::string path = dir.File("disk" + std::to_string(change) + ".td0");
    if (change == kTrdosSector) {
      // A TR-DOS disk full of data, converted.
      const LoadResult trd = LoadTrd(Pattern(80 * 2 * 16 * 256, 3), {});
      ASSERT_TRUE(trd.Ok);
      ASSERT_TRUE(platform::WriteFileAtomic(path, *SaveTd0(trd.Disk)));
    } else {
      guard.dialogs.Script({platform::MsgResult::Yes});
      TDiskImage blank;
      ASSERT_TRUE(blank.Open(path, false));  // a new blank disk, written at once
    }
    disk_test::ControllerPorts ports;
    ASSERT_TRUE(ports.fdc.InsertDisk(0, path));
    ports.Select(0, 0);
    TDiskImage& drive = ports.fdc.Drive(0);
    switch (change) {
      case kNone:
        break;
      case kIdsWithoutData:
        ports.Seek(1);
        ports.WriteTrack(idsOnly);
        ASSERT_EQ(WalkTrackIds(drive.Disk(), 1, 0, 300).Ids.size(), 253u);
        ASSERT_EQ(ReadSector(drive.Disk(), 1, 0, 5).data.size(), 256u);
        break;
      case kSizeCode7:
        ports.Seek(2);
        ports.WriteTrack(disk_test::OversizedFieldStream(2));
        ASSERT_EQ(WalkTrackIds(drive.Disk(), 2, 0, 100).Ids.back().IdByte(3), 7);
        break;
      case kTrdosSector:
        ports.Seek(3);
        ports.WriteSector(7, Pattern(256, 77));
        ASSERT_EQ(ReadSector(drive.Disk(), 3, 0, 7).data, Pattern(256, 77));
        break;
    }
    EXPECT_EQ(drive.Modified, change != kNone);
    const auto expected = Describe(drive.Disk(), true);
    ASSERT_TRUE(drive.Flush());
    const LoadResult again = LoadTd0(platform::ReadWholeFile(path).value_or(std::vector<uint8_t>{}), {});
    ASSERT_TRUE(again.Ok);
    EXPECT_EQ(Describe(again.Disk, true), expected);
    ExpectLibdskReadsTheSame(path, again.Disk);
  }
}
