#include <gtest/gtest.h>

#include <cstring>

#include "disk/formats.h"
#include "format_test_util.h"

using namespace disk;
using namespace format_test;

namespace {

// The CRC-32 of the format worked out the long way: the running value is
// inverted in and out around each byte and the shift keeps bit 31.
uint32_t SlowCrc(const std::vector<uint8_t>& bytes, size_t count) {
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < count; ++i) {
    uint32_t r = ~crc ^ bytes[i];
    for (int b = 0; b < 8; ++b) {
      const uint32_t low = r & 1;
      r = static_cast<uint32_t>(static_cast<int32_t>(r) >> 1);
      if (low) r ^= 0xEDB88320u;
    }
    crc = ~r;
  }
  return crc;
}

struct UdiTrack {
  uint8_t type = 0;
  std::vector<uint8_t> data, marks;  // marks only for type 0
};

std::vector<uint8_t> MakeUdi(int cylinders, int sides, const std::vector<UdiTrack>& tracks) {
  std::vector<uint8_t> f = {'U', 'D', 'I', '!', 0, 0, 0, 0, 0, static_cast<uint8_t>(cylinders - 1),
                            static_cast<uint8_t>(sides - 1), 0, 0, 0, 0, 0};
  for (const UdiTrack& t : tracks) {
    f.push_back(t.type);
    if (t.type != 0) {
      Put32(f, static_cast<uint32_t>(t.data.size()));
      f.insert(f.end(), t.data.begin(), t.data.end());
      continue;
    }
    Put16(f, static_cast<uint32_t>(t.data.size()));
    f.insert(f.end(), t.data.begin(), t.data.end());
    for (size_t k = 0; k < t.data.size(); k += 8) {
      uint8_t bits = 0;
      for (size_t b = 0; b < 8 && k + b < t.data.size(); ++b)
        if (t.marks[k + b]) bits |= static_cast<uint8_t>(1 << b);
      f.push_back(bits);
    }
  }
  const uint32_t len = static_cast<uint32_t>(f.size());
  std::memcpy(f.data() + 4, &len, 4);
  Put32(f, SlowCrc(f, f.size()));
  return f;
}

UdiTrack Mfm(TTrack t) { return {0, std::move(t.Data), std::move(t.Marks)}; }

// cylinder 0: a standard track and a 6400-byte one; cylinder 1: a track of
// another kind and no track at all.
std::vector<UdiTrack> MixedTracks() {
  RawTrack standard, longer;
  for (uint8_t r = 1; r <= 9; ++r) standard.Id(0, 0, r, 2).DataField(0xFB, Pattern(512, r));
  for (uint8_t r = 1; r <= 10; ++r) longer.Id(0, 1, r, 2).DataField(r == 3 ? 0xF8 : 0xFB, Pattern(512, 20 + r));
  UdiTrack fm{0x01, Pattern(3125, 99), {}};
  return {Mfm(standard.Build()), Mfm(longer.Build(6400)), fm, UdiTrack{}};
}

}  // namespace

TEST(Udi, Crc32Variant) {
  const std::string texts[] = {"abc", "123456789"};
  const uint32_t expected[] = {0xEB52592Fu, 0x1628D64Du};
  for (int k = 0; k < 2; ++k) {
    std::vector<uint8_t> bytes(texts[k].begin(), texts[k].end());
    EXPECT_EQ(Crc32Udi(bytes), expected[k]) << texts[k];
    EXPECT_EQ(SlowCrc(bytes, bytes.size()), expected[k]) << texts[k];
  }
}

TEST(Udi, TracksKeepTheirLengthsMarksAndKinds) {
  const auto file = MakeUdi(2, 2, MixedTracks());
  LoadResult r = LoadUdi(file, {});
  ASSERT_TRUE(r.Ok);
  EXPECT_TRUE(r.Warnings.empty());
  ASSERT_NE(r.Disk.Track(0, 0), nullptr);
  EXPECT_EQ(r.Disk.Track(0, 0)->Length(), 6250u);
  EXPECT_EQ(r.Disk.Track(0, 1)->Length(), 6400u);
  EXPECT_EQ(r.Disk.Track(1, 1), nullptr);  // a length of 0 is no track
  EXPECT_EQ(ReadSector(r.Disk, 0, 1, 10).data, Pattern(512, 30));
  EXPECT_EQ(ReadSector(r.Disk, 0, 1, 3).mark, 0xF8);
  EXPECT_TRUE(ReadSector(r.Disk, 0, 1, 3).crcOk);
  const TTrack* other = r.Disk.Track(1, 0);
  ASSERT_NE(other, nullptr);  // holds no sectors
  EXPECT_EQ(other->Length(), 6250u);
  EXPECT_FALSE(ReadSector(r.Disk, 1, 0, 1).found);

  // Our writer gives back the very file, the track of another kind included.
  EXPECT_EQ(SaveUdi(r.Disk), file);

  // Once a Write Track has replaced that track, it is written as MFM.
  RawTrack fresh;
  fresh.Id(1, 0, 1, 1).DataField(0xFB, Pattern(256, 7));
  TTrack written = fresh.Build();
  std::copy(written.Data.begin(), written.Data.end(), r.Disk.Track(1, 0)->Data.begin());
  std::copy(written.Marks.begin(), written.Marks.end(), r.Disk.Track(1, 0)->Marks.begin());
  auto tracks = MixedTracks();
  tracks[2] = Mfm(written);
  const auto rewritten = SaveUdi(r.Disk);
  EXPECT_EQ(rewritten, MakeUdi(2, 2, tracks));
  ASSERT_TRUE(rewritten);
  LoadResult again = LoadUdi(*rewritten, {});
  ASSERT_TRUE(again.Ok);
  EXPECT_EQ(ReadSector(again.Disk, 1, 0, 1).data, Pattern(256, 7));
}

TEST(Udi, WrongCrcWarnsAndLoads) {
  auto file = MakeUdi(2, 2, MixedTracks());
  file.back() ^= 1;
  LoadResult r = LoadUdi(file, {});
  ASSERT_TRUE(r.Ok);
  ASSERT_EQ(r.Warnings.size(), 1u);
  EXPECT_EQ(r.Warnings[0], DiskMessage::UdiCrc);
  EXPECT_EQ(DiskMessageString(r.Warnings[0]), "Ошибка CRC файла UDI!");
}

TEST(Udi, RefusedInputs) {
  const auto good = MakeUdi(2, 2, MixedTracks());
  auto patched = [&](size_t at, std::vector<uint8_t> bytes) {
    auto f = good;
    for (size_t k = 0; k < bytes.size(); ++k) f.at(at + k) = bytes[k];
    return f;
  };
  // A track whose length runs into the CRC trailer: the last track (no
  // track, 3 bytes) given a length of 1 still fits its byte but not its
  // bitmap byte.
  auto intoTrailer = patched(good.size() - 4 - 2, {1, 0});
  std::vector<uint8_t> cutTrack(good.begin(), good.begin() + 16 + 3 + 100);
  const uint32_t cutLen = static_cast<uint32_t>(cutTrack.size());
  std::memcpy(cutTrack.data() + 4, &cutLen, 4);
  cutTrack.insert(cutTrack.end(), 4, 0);
  struct Case {
    const char* name;
    std::vector<uint8_t> file;
    DiskMessage error;
  };
  const Case cases[] = {
      {"19 bytes", std::vector<uint8_t>(good.begin(), good.begin() + 19), DiskMessage::Truncated},
      {"magic", patched(0, {'U', 'D', 'I', '?'}), DiskMessage::UdiFormat},
      {"version", patched(8, {1}), DiskMessage::UdiVersion},
      {"flags", patched(11, {1}), DiskMessage::UdiVersion},
      {"extended header", patched(12, {4}), DiskMessage::UdiVersion},
      {"length field", patched(4, {1}), DiskMessage::Truncated},
      {"one byte short", std::vector<uint8_t>(good.begin(), good.end() - 1), DiskMessage::Truncated},
      {"more cylinders than tracks", patched(9, {2}), DiskMessage::Truncated},
      {"track into the trailer", intoTrailer, DiskMessage::Truncated},
      {"track cut part-way", cutTrack, DiskMessage::Truncated},
      {"other kind with a huge length", patched(16 + 3 + 6250 + 782 + 3 + 6400 + 800 + 1, {0xFF, 0xFF, 0xFF, 0x7F}),
       DiskMessage::Truncated},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ExpectRefused(LoadUdi(c.file, {}), c.error);
  }
}

TEST(Udi, HostileInput) {
  Hostile(&LoadUdi, &SaveUdi, MakeUdi(2, 2, MixedTracks()));
}
