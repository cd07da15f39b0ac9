#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "disk/formats.h"
#include "disk_test_util.h"

using namespace disk;
using disk_test::MakeScl;
using disk_test::SclFile;

namespace {

// A sector's 256 data bytes as the field search finds them.
std::vector<uint8_t> SectorData(const TDiskContents& d, int c, int s, int r) {
  TSectorInfo info;
  if (!FindSector(d, c, s, static_cast<uint8_t>(r), info, 0)) return {};
  EXPECT_TRUE(info.DataCrcOk) << c << "/" << s << "/" << r;
  std::vector<uint8_t> v;
  for (uint32_t k = 0; k < 256; ++k) v.push_back(info.DataByte(k));
  return v;
}

std::vector<uint8_t> LogicalSector(const TDiskContents& d, int track, int r) {
  return SectorData(d, track / 2, track % 2, r);
}

}  // namespace

TEST(Trd, FileSizes) {
  struct Case {
    size_t size;
    bool ok;
    DiskMessage error;
    int cylinders;
  };
  const Case cases[] = {
      {0, false, DiskMessage::Truncated, 0},
      {8191, false, DiskMessage::UnknownFormat, 0},
      {655360 + 256, false, DiskMessage::UnknownFormat, 0},
      {8192, true, DiskMessage::Count, 1},
      {655360, true, DiskMessage::Count, 80},
      {256 * 8192, true, DiskMessage::Count, 256},
      {257 * 8192, false, DiskMessage::TooManyCylinders, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    std::vector<uint8_t> file(c.size, 0);
    LoadResult r = LoadTrd(file, {});
    EXPECT_EQ(r.Ok, c.ok);
    if (!c.ok) {
      EXPECT_EQ(r.Error, c.error);
      EXPECT_TRUE(r.Disk.Empty());
      continue;
    }
    EXPECT_EQ(r.Disk.Cylinders(), c.cylinders);
    EXPECT_EQ(r.Disk.Sides(), 2);
  }
}

TEST(Trd, RoundTripIsByteIdentical) {
  std::vector<uint8_t> file(655360);
  std::mt19937 rng(7);
  for (auto& b : file) b = static_cast<uint8_t>(rng());
  LoadResult r = LoadTrd(file, {});
  ASSERT_TRUE(r.Ok);
  // Sector R of cylinder c, side s lies at ((c * 2 + s) * 16 + R - 1) * 256.
  const size_t off = ((37 * 2 + 1) * 16 + 5 - 1) * 256;
  EXPECT_EQ(SectorData(r.Disk, 37, 1, 5), std::vector<uint8_t>(file.begin() + off, file.begin() + off + 256));
  auto out = SaveTrd(r.Disk);
  ASSERT_TRUE(out);
  EXPECT_EQ(*out, file);
}

TEST(Trd, MissingSectorIsSavedAsTheFiller) {
  std::vector<uint8_t> file(8192, 0x33);
  LoadResult r = LoadTrd(file, {});
  ASSERT_TRUE(r.Ok);
  // Turn sector 3's ID mark of cylinder 0, side 1 into something else.
  TSectorInfo info;
  ASSERT_TRUE(FindSector(r.Disk, 0, 1, 3, info, 0));
  r.Disk.Track(0, 1)->Data[info.IdPos - 1] = 0xFD;
  auto out = SaveTrd(r.Disk);
  ASSERT_TRUE(out);
  ASSERT_EQ(out->size(), 8192u);
  const std::string expected = std::string("ERROR: THIS SECTOR NOT FOUND OR IN NON TR-DOS FORMAT!") +
                               '\0' + std::string(202, '*');
  const size_t off = (16 + 2) * 256;
  EXPECT_EQ(std::string(out->begin() + off, out->begin() + off + 256), expected);
  EXPECT_EQ((*out)[off - 1], 0x33);
  EXPECT_EQ((*out)[off + 256], 0x33);
}

TEST(Scl, LoadLaysFilesOutAsTrdosDoes) {
  std::vector<SclFile> files = {
      {"hello   ", 'B', 100, 100, 2, 0x11},
      {"\x01gone   ", 'C', 0x8000, 300, 15, 0x22},  // deleted
      {"data    ", 'C', 0x6000, 2000, 1, 0x33},
  };
  LoadResult r = LoadScl(MakeScl(files), {});
  ASSERT_TRUE(r.Ok);
  EXPECT_TRUE(r.Warnings.empty());
  EXPECT_EQ(r.Disk.Cylinders(), 80);
  const auto cat = LogicalSector(r.Disk, 0, 1);
  // Files start at track 1, sector 0, and follow one another.
  const uint8_t expectedPlace[3][2] = {{0, 1}, {2, 1}, {1, 2}};
  for (size_t i = 0; i < files.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(std::memcmp(&cat[i * 16], files[i].name, 8), 0);
    EXPECT_EQ(cat[i * 16 + 13], files[i].sectors);
    EXPECT_EQ(cat[i * 16 + 14], expectedPlace[i][0]);
    EXPECT_EQ(cat[i * 16 + 15], expectedPlace[i][1]);
  }
  EXPECT_EQ(LogicalSector(r.Disk, 1, 1), std::vector<uint8_t>(256, 0x11));
  EXPECT_EQ(LogicalSector(r.Disk, 1, 3), std::vector<uint8_t>(256, 0x22));
  EXPECT_EQ(LogicalSector(r.Disk, 2, 2), std::vector<uint8_t>(256, 0x33));
  const auto sys = LogicalSector(r.Disk, 0, 9);
  EXPECT_EQ(sys[225], 2);
  EXPECT_EQ(sys[226], 2);
  EXPECT_EQ(sys[228], 3);
  EXPECT_EQ(sys[244], 1);
  EXPECT_EQ(sys[229] | sys[230] << 8, 2544 - 18);
  EXPECT_EQ(sys[231], 16);
}

TEST(Scl, BootFileIsAddedOnce) {
  struct Case {
    const char* name;
    std::vector<SclFile> files;
    bool addBoot;
    bool expectBoot;
  };
  const Case cases[] = {
      {"archive without a boot file", {{"game    ", 'B', 10, 10, 1, 1}}, true, true},
      {"archive with its own boot", {{"BoOt    ", 'B', 10, 10, 1, 1}}, true, false},
      {"boot of another type is not a boot file", {{"boot    ", 'C', 10, 10, 1, 1}}, true, true},
      {"option off", {{"game    ", 'B', 10, 10, 1, 1}}, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LoadOptions options;
    options.AddBoot = c.addBoot;
    LoadResult r = LoadScl(MakeScl(c.files), options);
    ASSERT_TRUE(r.Ok);
    const auto cat = LogicalSector(r.Disk, 0, 1);
    const auto sys = LogicalSector(r.Disk, 0, 9);
    const size_t slot = c.files.size() * 16;
    if (c.expectBoot) {
      EXPECT_EQ(std::memcmp(&cat[slot], BootCatalogueEntry().data(), 16), 0);
      EXPECT_EQ(sys[228], c.files.size() + 1);
      for (int r10 = 10; r10 <= 16; ++r10) {
        const auto sec = LogicalSector(r.Disk, 0, r10);
        EXPECT_EQ(std::memcmp(sec.data(), BootFileSectors().data() + (r10 - 10) * 256, 256), 0);
      }
      // The boot file takes track 0's spare sectors: nothing else moves.
      EXPECT_EQ(sys[225], 1);
      EXPECT_EQ(sys[226], 1);
      EXPECT_EQ(sys[229] | sys[230] << 8, 2543);
    } else {
      EXPECT_EQ(cat[slot], 0);
      EXPECT_EQ(sys[228], c.files.size());
    }
  }
}

TEST(Scl, FileSetRoundTripsWithTheBootOptionOff) {
  std::vector<SclFile> files;
  for (int i = 0; i < 40; ++i)
    files.push_back({"file0000", static_cast<char>('A' + i % 4), static_cast<uint16_t>(i * 1000),
                     static_cast<uint16_t>(i * 77), static_cast<uint8_t>(i * 3 % 20), static_cast<uint8_t>(i)});
  for (size_t i = 0; i < files.size(); ++i) files[i].name[7] = static_cast<char>('0' + i % 10);
  const auto scl = MakeScl(files);
  LoadResult r = LoadScl(scl, {});
  ASSERT_TRUE(r.Ok);
  auto out = SaveScl(r.Disk);
  ASSERT_TRUE(out);
  EXPECT_EQ(*out, scl);
}

TEST(Scl, BigArchivesGetMoreCylinders) {
  struct Case {
    int sectors;
    int cylinders;
  };
  for (const Case& c : {Case{2544, 80}, Case{2545, 81}, Case{4080, 128}}) {
    SCOPED_TRACE(c.sectors);
    std::vector<SclFile> files;
    for (int left = c.sectors; left > 0; left -= 255)
      files.push_back({"big     ", 'C', 0, 0, static_cast<uint8_t>(std::min(left, 255)), 0x5A});
    LoadResult r = LoadScl(MakeScl(files), {});
    ASSERT_TRUE(r.Ok);
    EXPECT_EQ(r.Disk.Cylinders(), c.cylinders);
    const auto sys = LogicalSector(r.Disk, 0, 9);
    EXPECT_EQ(sys[229] | sys[230] << 8, c.cylinders * 32 - 16 - c.sectors);
    // The last sector laid out is where the system sector says the free space begins.
    const int last = c.sectors - 1;
    EXPECT_EQ(LogicalSector(r.Disk, 1 + last / 16, last % 16 + 1)[0], 0x5A);
    // A full 256-track disk has its free space just past its last sector,
    // never back on the catalogue track.
    EXPECT_EQ(sys[226] * 16 + sys[225], 16 + c.sectors);
    EXPECT_NE(sys[226], 0);
  }
}

// Archives at the reader's limit of 4080 sectors, changed and written back:
// the boot file joins only where it leaves the archive within that limit,
// the written archive opens again and writes back the same, and the first
// free track never wraps to the catalogue track.
TEST(Scl, FullArchivesRoundTripWithAndWithoutTheBootFile) {
  for (int sectors = 4073; sectors <= 4080; ++sectors) {
    for (bool addBoot : {false, true}) {
      SCOPED_TRACE(std::to_string(sectors) + (addBoot ? " with boot" : " without boot"));
      std::vector<SclFile> files;
      for (int left = sectors; left > 0; left -= 255)
        files.push_back({"part    ", 'C', 0, 0, static_cast<uint8_t>(std::min(left, 255)), 0x3C});
      LoadOptions options;
      options.AddBoot = addBoot;
      LoadResult r = LoadScl(MakeScl(files), options);
      ASSERT_TRUE(r.Ok);
      const auto sys = LogicalSector(r.Disk, 0, 9);
      EXPECT_NE(sys[226], 0);
      const bool boot = addBoot && sectors + 7 <= 4080;
      EXPECT_EQ(sys[228], files.size() + (boot ? 1 : 0));
      // A program changes the last sector of the last file.
      const int last = sectors - 1;
      TSectorInfo info;
      ASSERT_TRUE(FindSector(r.Disk, (1 + last / 16) / 2, (1 + last / 16) % 2,
                             static_cast<uint8_t>(last % 16 + 1), info, 0));
      r.Disk.Track(info.Cylinder, info.Side)->Data[info.DataPos] = 0xC3;
      UpdateDataCrc(r.Disk, info);
      const auto written = SaveScl(r.Disk);
      ASSERT_TRUE(written);
      LoadResult again = LoadScl(*written, options);
      ASSERT_TRUE(again.Ok);
      EXPECT_EQ(SaveScl(again.Disk), written);
      EXPECT_NE(LogicalSector(again.Disk, 0, 9)[226], 0);
      EXPECT_EQ(LogicalSector(again.Disk, 1 + last / 16, last % 16 + 1)[0], 0xC3);
    }
  }
}

TEST(Scl, RefusedArchives) {
  const auto good = MakeScl({{"one     ", 'C', 0, 0, 2, 9}, {"two     ", 'C', 0, 0, 1, 8}});
  struct Case {
    const char* name;
    std::vector<uint8_t> file;
    DiskMessage error;
  };
  std::vector<Case> cases = {
      {"empty", {}, DiskMessage::Truncated},
      {"shorter than a header", std::vector<uint8_t>(good.begin(), good.begin() + 12), DiskMessage::Truncated},
      {"entries cut", std::vector<uint8_t>(good.begin(), good.begin() + 9 + 20), DiskMessage::Truncated},
      {"data cut", std::vector<uint8_t>(good.begin(), good.end() - 5), DiskMessage::Truncated},
      {"no checksum", std::vector<uint8_t>(good.begin(), good.end() - 4), DiskMessage::Truncated},
  };
  auto bad = good;
  bad[0] = 'Z';
  cases.push_back({"signature", bad, DiskMessage::SclFormat});
  std::vector<SclFile> many(129, SclFile{"x       ", 'C', 0, 0, 0, 0});
  cases.push_back({"more than 128 entries", MakeScl(many), DiskMessage::SclFormat});
  std::vector<SclFile> huge;
  for (int left = 4081; left > 0; left -= 255)
    huge.push_back({"huge    ", 'C', 0, 0, static_cast<uint8_t>(std::min(left, 255)), 1});
  cases.push_back({"more sectors than 255 tracks hold", MakeScl(huge), DiskMessage::SclFormat});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LoadResult r = LoadScl(c.file, {});
    EXPECT_FALSE(r.Ok);
    EXPECT_EQ(r.Error, c.error);
    EXPECT_TRUE(r.Disk.Empty());
  }
}

TEST(Scl, WrongChecksumOnlyWarns) {
  auto file = MakeScl({{"one     ", 'C', 0, 0, 1, 9}});
  file.back() ^= 1;
  LoadResult r = LoadScl(file, {});
  EXPECT_TRUE(r.Ok);
  ASSERT_EQ(r.Warnings.size(), 1u);
  EXPECT_EQ(r.Warnings[0], DiskMessage::SclCrc);
}

TEST(Scl, WriterWithoutCatalogueOrSystemSector) {
  LoadResult r = LoadScl(MakeScl({{"one     ", 'C', 0, 0, 1, 9}}), {});
  ASSERT_TRUE(r.Ok);
  // An unreadable catalogue sector gives WRONGSEC entries with no data.
  TSectorInfo info;
  ASSERT_TRUE(FindSector(r.Disk, 0, 0, 1, info, 0));
  r.Disk.Track(0, 0)->Data[info.IdPos - 1] = 0;
  auto out = SaveScl(r.Disk);
  ASSERT_TRUE(out);
  ASSERT_EQ(out->size(), 9u + 14 + 4);
  const uint8_t wrong[14] = {'W', 'R', 'O', 'N', 'G', 'S', 'E', 'C', 'E', 0xEE, 0xEE, 0xEE, 0xEE, 0};
  EXPECT_EQ(std::memcmp(out->data() + 9, wrong, 14), 0);
  // Without a valid system sector nothing can be written.
  ASSERT_TRUE(FindSector(r.Disk, 0, 0, 9, info, 0));
  r.Disk.Track(0, 0)->Data[info.IdPos - 1] = 0;
  EXPECT_FALSE(SaveScl(r.Disk));
}

// Walks the boot program as the Spectrum's BASIC does, sharing nothing with
// the code that built it.
TEST(BootFile, IsATrdosBasicProgramOfTheStatedLength) {
  const auto file = BootFileSectors();
  const auto entry = BootCatalogueEntry();
  const size_t length = entry[9] | entry[10] << 8;
  ASSERT_EQ(length, 0x06FCu);
  EXPECT_EQ(entry[11] | entry[12] << 8, 0x06FC);
  EXPECT_EQ(entry[13], 7);
  size_t pos = 0;
  std::vector<int> lines;
  std::string text;
  while (pos < length) {
    ASSERT_LE(pos + 4, length);
    lines.push_back(file[pos] << 8 | file[pos + 1]);
    const size_t len = file[pos + 2] | file[pos + 3] << 8;
    ASSERT_LE(pos + 4 + len, length);
    EXPECT_EQ(file[pos + 4 + len - 1], 0x0D);
    for (size_t k = pos + 4; k < pos + 4 + len; ++k) {
      if (file[k] == 0x0E) {
        k += 5;  // the hidden number
        continue;
      }
      text += static_cast<char>(file[k]);
    }
    pos += 4 + len;
  }
  EXPECT_EQ(pos, length);
  EXPECT_EQ(lines, (std::vector<int>{10, 20, 30, 40}));
  // RANDOMIZE USR 15619: REM : CAT, and later RUN n$.
  EXPECT_NE(text.find("\xF9\xC0" "15619:\xEA:\xCF"), std::string::npos);
  EXPECT_NE(text.find("\xEA:\xF7n$"), std::string::npos);
  EXPECT_EQ(file[length], 0x80);
  EXPECT_EQ(file[length + 1], 0xAA);
  EXPECT_EQ(file[length + 2] | file[length + 3] << 8, 10);
}
