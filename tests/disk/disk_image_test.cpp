#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "disk/disk_image.h"

using namespace disk;

namespace {

uint16_t Crc(std::initializer_list<uint8_t> bytes) {
  std::vector<uint8_t> v(bytes);
  return Crc16Ccitt(v.data(), v.size());
}

// A track of 4E filler into which fields are placed by hand.
struct TrackBuilder {
  explicit TrackBuilder(uint32_t len) { t.Data.assign(len, 0x4E), t.Marks.assign(len, 0); }
  uint32_t Put(uint32_t pos, std::initializer_list<uint8_t> bytes, uint8_t mark = 0) {
    for (uint8_t b : bytes) {
      t.Data[pos % t.Length()] = b;
      t.Marks[pos % t.Length()] = mark;
      ++pos;
    }
    return pos;
  }
  // Sync bytes, an address mark and the field with its CRC, wherever it lies.
  uint32_t Field(uint32_t pos, uint8_t mark, const std::vector<uint8_t>& body, bool goodCrc = true) {
    std::vector<uint8_t> stretch = {0xA1, 0xA1, 0xA1, mark};
    stretch.insert(stretch.end(), body.begin(), body.end());
    uint16_t crc = Crc16Ccitt(stretch.data(), stretch.size());
    if (!goodCrc) crc ^= 0x1234;
    pos = Put(pos, {0xA1, 0xA1, 0xA1}, kSyncMark);
    pos = Put(pos, {mark});
    for (uint8_t b : body) pos = Put(pos, {b});
    return Put(pos, {static_cast<uint8_t>(crc >> 8), static_cast<uint8_t>(crc)});
  }
  TTrack t;
};

}  // namespace

TEST(Crc16, ReferenceValues) {
  const char* check = "123456789";
  EXPECT_EQ(Crc16Ccitt(reinterpret_cast<const uint8_t*>(check), 9), 0x29B1);
  EXPECT_EQ(Crc({0xA1, 0xA1, 0xA1, 0xFE, 0x00, 0x00, 0x01, 0x01}), 0xFA0C);
  std::vector<uint8_t> data = {0xA1, 0xA1, 0xA1, 0xFB};
  data.resize(4 + 256, 0);
  EXPECT_EQ(Crc16Ccitt(data.data(), data.size()), 0xE122);
}

TEST(Crc16, RingStretchEqualsLinearCrc) {
  std::vector<uint8_t> ring = {1, 2, 3, 4, 5, 6, 7};
  std::vector<uint8_t> unrolled = {6, 7, 1, 2, 3};
  EXPECT_EQ(Crc16Ring(ring.data(), 7, 5, 5), Crc16Ccitt(unrolled.data(), 5));
}

TEST(FormatTrdos, BlankDiskLayout) {
  TDiskContents d = FormatTrdos(80, 2);
  EXPECT_EQ(d.MaxCylinder, 79);
  EXPECT_EQ(d.MaxSide, 1);
  for (int c = 0; c < 80; ++c) {
    for (int s = 0; s < 2; ++s) {
      const TTrack* t = d.Track(c, s);
      ASSERT_NE(t, nullptr);
      ASSERT_EQ(t->Length(), 6250u);
      TSectorInfo info;
      uint32_t pos = 0;
      for (int r = 1; r <= 16; ++r) {  // in order on the track
        ASSERT_TRUE(FindNextId(d, c, s, pos, info));
        EXPECT_EQ(info.IdByte(0), c);
        EXPECT_EQ(info.IdByte(1), 0);  // H is 0 on side 1 too
        EXPECT_EQ(info.IdByte(2), r);
        EXPECT_EQ(info.IdByte(3), 1);
        EXPECT_TRUE(info.IdCrcOk);
        pos = info.AfterIdPos;
        TSectorInfo sec;
        ASSERT_TRUE(FindSector(d, c, s, static_cast<uint8_t>(r), sec, 0));
        EXPECT_TRUE(sec.DataCrcOk);
        EXPECT_EQ(sec.DataSize, 256u);
        EXPECT_EQ(sec.DataPos, TrdosDataOffset(r));
      }
    }
  }
  TSectorInfo sys;
  ASSERT_TRUE(FindSector(d, 0, 0, 9, sys, 0));
  EXPECT_EQ(sys.DataByte(226), 1);
  EXPECT_EQ(sys.DataByte(227), 22);
  EXPECT_EQ(sys.DataByte(229) | sys.DataByte(230) << 8, 2544);
  EXPECT_EQ(sys.DataByte(231), 16);
  std::string label;
  for (uint32_t k = 245; k < 253; ++k) label += static_cast<char>(sys.DataByte(k));
  EXPECT_EQ(label, "OVRIN   ");
}

TEST(FieldSearch, FieldsWrappingTheIndexAreFoundWithTheirCrc) {
  TrackBuilder b(1000);
  // The ID starts 5 bytes before the end; its data field straddles nothing.
  uint32_t p = b.Field(995, 0xFE, {7, 0, 3, 0});
  b.Field(p + 20, 0xFB, std::vector<uint8_t>(128, 0x55));
  TSectorInfo info;
  ASSERT_TRUE(FindSectorOnTrack(b.t, 3, info, 0));
  EXPECT_EQ(info.IdA1Pos, 995u);
  EXPECT_EQ(info.IdPos, 999u);
  EXPECT_TRUE(info.IdCrcOk);
  EXPECT_TRUE(info.DataCrcOk);

  // Now a data field that wraps.
  TrackBuilder w(1000);
  w.Field(300, 0xFE, {7, 0, 4, 1});
  w.Field(900, 0xF8, std::vector<uint8_t>(256, 0xAA));
  ASSERT_TRUE(FindSectorOnTrack(w.t, 4, info, 0));
  EXPECT_EQ(info.DataMark, 0xF8);
  EXPECT_EQ(info.DataPos, 904u);
  EXPECT_EQ(info.DataEndPos, (904u + 256) % 1000);
  EXPECT_TRUE(info.DataCrcOk);
  // UpdateDataCrc repairs a damaged CRC over the wrapped stretch.
  TDiskContents d(1, 1);
  d.SetTrack(0, 0, w.t.Data, w.t.Marks);
  d.Track(0, 0)->Data[info.DataEndPos] ^= 0xFF;
  ASSERT_TRUE(FindSector(d, 0, 0, 4, info, 0));
  EXPECT_FALSE(info.DataCrcOk);
  UpdateDataCrc(d, info);
  ASSERT_TRUE(FindSector(d, 0, 0, 4, info, 0));
  EXPECT_TRUE(info.DataCrcOk);
}

TEST(FieldSearch, AnIdIsFoundWhereverItLiesInALongUnmarkedStretch) {
  // The search passes unmarked stretches in blocks: IDs on and around their
  // edges, searched for from before them, from the ID itself (a whole turn)
  // and around the index.
  for (uint32_t at : {0u, 1u, 7u, 8u, 9u, 63u, 64u, 127u, 128u, 511u, 512u, 513u, 1023u, 1024u,
                      4095u, 6100u, 6239u, 6246u, 6247u}) {
    TrackBuilder b(kStandardTrackLength);
    b.Field(at, 0xFE, {1, 0, 9, 1});
    const uint32_t idPos = (at + 4) % kStandardTrackLength;
    const uint32_t before = at == 0 ? 0u : at - 1, across = (at + 3000) % kStandardTrackLength;
    for (uint32_t from : {0u, before, at, idPos, across}) {
      TSectorInfo info;
      ASSERT_TRUE(FindNextIdOnTrack(b.t, from, info)) << at << " from " << from;
      EXPECT_EQ(info.IdPos, idPos) << at << " from " << from;
      EXPECT_TRUE(info.IdCrcOk) << at << " from " << from;
    }
  }
  TrackBuilder blank(kStandardTrackLength);
  TSectorInfo info;
  EXPECT_FALSE(FindNextIdOnTrack(blank.t, 100, info));
}

TEST(FieldSearch, AddressMarkCases) {
  struct Case {
    const char* name;
    void (*build)(TrackBuilder&);
    bool idFound, sectorFound;
  };
  const Case cases[] = {
      {"missing data field: the next mark is an ID",
       [](TrackBuilder& b) {
         uint32_t p = b.Field(10, 0xFE, {0, 0, 1, 1});
         b.Field(p + 30, 0xFE, {0, 0, 2, 1});
       },
       true, false},
      {"sync run followed by a non-mark byte is skipped",
       [](TrackBuilder& b) {
         b.Put(10, {0xA1, 0xA1}, kSyncMark);
         b.Put(12, {0x33});
         uint32_t p = b.Field(40, 0xFE, {0, 0, 1, 0});
         b.Field(p + 10, 0xFB, std::vector<uint8_t>(128, 1));
       },
       true, true},
      {"unmarked A1 is no sync byte",
       [](TrackBuilder& b) { b.Put(10, {0xA1, 0xA1, 0xA1, 0xFE, 0, 0, 1, 1, 0, 0}); }, false,
       false},
      {"whole track of sync bytes",
       [](TrackBuilder& b) {
         std::fill(b.t.Data.begin(), b.t.Data.end(), 0xA1);
         std::fill(b.t.Marks.begin(), b.t.Marks.end(), kSyncMark);
       },
       false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TrackBuilder b(2000);
    c.build(b);
    TSectorInfo info;
    EXPECT_EQ(FindNextIdOnTrack(b.t, 0, info), c.idFound);
    EXPECT_EQ(FindSectorOnTrack(b.t, 1, info, 0), c.sectorFound);
    if (c.idFound) {
      EXPECT_TRUE(info.IdFound);
    }
  }
}

TEST(FieldSearch, DuplicateRFoundFirstFromStart) {
  TrackBuilder b(3000);
  uint32_t p = b.Field(100, 0xFE, {0, 0, 5, 0});
  b.Field(p + 10, 0xFB, std::vector<uint8_t>(128, 0x11));
  p = b.Field(1000, 0xFE, {1, 0, 5, 0});
  b.Field(p + 10, 0xFB, std::vector<uint8_t>(128, 0x22));
  TSectorInfo info;
  ASSERT_TRUE(FindSectorOnTrack(b.t, 5, info, 0));
  EXPECT_EQ(info.DataByte(0), 0x11);
  ASSERT_TRUE(FindSectorOnTrack(b.t, 5, info, 500));
  EXPECT_EQ(info.DataByte(0), 0x22);
}

TEST(FieldSearch, OversizedSectorNeverFits) {
  TrackBuilder b(1000);
  uint32_t p = b.Field(10, 0xFE, {0, 0, 1, 31});  // 128 << 31 bytes
  b.Field(p + 10, 0xFB, {1, 2, 3});
  TSectorInfo info;
  ASSERT_TRUE(FindSectorOnTrack(b.t, 1, info, 0));
  EXPECT_FALSE(info.DataFits);
  EXPECT_FALSE(info.DataCrcOk);
}

TEST(FieldSearch, ChecksGeometryAndInsertion) {
  TDiskImage image;
  image.Insert(FormatTrdos(2, 1), ImageFormat::Trd, true, "x.trd");
  TSectorInfo info;
  EXPECT_TRUE(FindSector(image, 1, 0, 1, info, 0));
  EXPECT_FALSE(FindSector(image, 2, 0, 1, info, 0));
  EXPECT_FALSE(FindSector(image, 0, 1, 1, info, 0));
  image.Inserted = false;
  EXPECT_FALSE(FindNextId(image, 0, 0, 0, info));
}

TEST(DiskContents, TracksAreKeptByPlaceAndStayPut) {
  TDiskContents none;
  EXPECT_TRUE(none.Empty());
  EXPECT_FALSE(none.SetTrack(0, 0, {1}, {0}));
  EXPECT_EQ(none.Track(0, 0), nullptr);

  // The largest geometry with a few tracks: each is found at its own place only.
  TDiskContents d(256, 256);
  EXPECT_FALSE(d.Empty());
  EXPECT_EQ(d.Track(0, 0), nullptr);
  const struct {
    int c, s;
    uint8_t tag;
  } placed[] = {{0, 0, 1}, {1, 0, 2}, {0, 1, 3}, {255, 255, 4}, {0, 255, 5}, {255, 0, 6}};
  for (const auto& p : placed) ASSERT_TRUE(d.SetTrack(p.c, p.s, {p.tag, 0}, {0, 0}));
  const TTrack* first = d.Track(0, 0);
  for (const auto& p : placed) {
    const TTrack* t = d.Track(p.c, p.s);
    ASSERT_NE(t, nullptr) << p.c << "/" << p.s;
    EXPECT_EQ(t->Data[0], p.tag) << p.c << "/" << p.s;
  }
  EXPECT_EQ(d.Track(1, 1), nullptr);
  EXPECT_EQ(d.Track(256, 0), nullptr);

  // Replacing a track keeps its address; a bad track or place changes nothing.
  ASSERT_TRUE(d.SetTrack(0, 0, {7, 7, 7}, {0, 0, 0}));
  EXPECT_EQ(d.Track(0, 0), first);
  EXPECT_EQ(first->Length(), 3u);
  EXPECT_FALSE(d.SetTrack(0, 0, {}, {}));
  EXPECT_FALSE(d.SetTrack(0, 0, {1, 2}, {0}));
  EXPECT_FALSE(d.SetTrack(0, 256, {1}, {0}));
  EXPECT_EQ(first->Length(), 3u);
}

TEST(TrackSynthesis, GapSizing) {
  struct Case {
    int sectors;
    uint32_t layoutBytes;  // before the final 4E filler
    int gap1, gap2, gap3, gap4;
  };
  const Case cases[] = {
      {10, 6240, 10, 22, 12, 44},
      {11, 6237, 9, 8, 9, 8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sectors);
    std::vector<uint8_t> data(512, 0xE5);
    std::vector<TSynthSector> secs;
    uint32_t need = 0;
    for (int i = 0; i < c.sectors; ++i) {
      TSynthSector s;
      s.C = 3, s.R = static_cast<uint8_t>(i + 1), s.N = 2, s.HasData = true, s.Data = data;
      secs.push_back(s);
      need += 5 + 8 + 4 + 512;  // the FDI count
    }
    TTrack t;
    ASSERT_TRUE(SynthesizeTrack(secs, need, t));
    ASSERT_EQ(t.Length(), 6250u);
    const uint32_t perSector = c.layoutBytes / c.sectors;
    // Sector 2's ID sync starts one sector length plus gap1 and gap3 in.
    TSectorInfo info;
    ASSERT_TRUE(FindSectorOnTrack(t, 2, info, 0));
    EXPECT_EQ(info.IdA1Pos, perSector + c.gap1 + c.gap3);
    EXPECT_EQ(info.DataA1Pos - info.AfterIdPos, static_cast<uint32_t>(c.gap2 + c.gap3));
    EXPECT_EQ(info.IdPos - info.IdA1Pos, 2u);  // one sync byte and the mark
    EXPECT_TRUE(info.DataCrcOk);
    EXPECT_EQ(perSector, static_cast<uint32_t>(c.gap1 + 2 * c.gap3 + c.gap2 + c.gap4 + 2 + 6 + 2 + 512 + 2));
    for (uint32_t k = c.layoutBytes; k < 6250; ++k) ASSERT_EQ(t.Data[k], 0x4E);
  }
}

TEST(TrackSynthesis, RefusesWhatCannotFitAndInvertsBadCrc) {
  std::vector<uint8_t> data(4096, 0);
  std::vector<TSynthSector> secs(2);
  secs[0].R = 1, secs[0].N = 5, secs[0].HasData = true, secs[0].Data = data;
  secs[1] = secs[0], secs[1].R = 2;
  TTrack t;
  EXPECT_FALSE(SynthesizeTrack(secs, 2 * (17 + 4096), t));
  secs.resize(1);
  secs[0].DataCrcGood = false;
  ASSERT_TRUE(SynthesizeTrack(secs, 17 + 4096, t));
  TSectorInfo info;
  ASSERT_TRUE(FindSectorOnTrack(t, 1, info, 0));
  EXPECT_FALSE(info.DataCrcOk);
}
