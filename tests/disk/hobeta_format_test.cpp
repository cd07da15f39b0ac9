#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "controller_ports.h"
#include "disk/disk_image.h"
#include "disk/formats.h"
#include "disk_test_util.h"
#include "format_test_util.h"
#include "platform/dialogs.h"
#include "platform/files.h"
#include "support/recording_dialogs.h"

using namespace disk;
using namespace format_test;

namespace {

std::vector<uint8_t> MakeHobeta(const char* name, uint8_t sectors, uint8_t fill, uint8_t byte13 = 0,
                                bool goodSum = true) {
  std::vector<uint8_t> f(name, name + 8);
  f.push_back('C');
  Put16(f, 0x8000);
  Put16(f, static_cast<uint32_t>(sectors) * 256 - 3);
  f.push_back(byte13);
  f.push_back(sectors);
  unsigned sum = 0;
  for (uint8_t b : f) sum += b;
  const unsigned check = (sum * 257 + 105 + (goodSum ? 0 : 1)) & 0xFFFF;
  Put16(f, check);
  for (int k = 0; k < sectors * 256; ++k) f.push_back(static_cast<uint8_t>(fill + k / 256));
  return f;
}

struct System {
  int s, t, files, deleted, free;
};

System ReadSystem(const TDiskContents& disk) {
  const SectorView v = ReadSector(disk, 0, 0, 9);
  EXPECT_TRUE(v.crcOk);
  return {v.data[225], v.data[226], v.data[228], v.data[244], v.data[229] | v.data[230] << 8};
}

std::vector<uint8_t> Entry(const TDiskContents& disk, int slot) {
  const SectorView v = ReadSector(disk, 0, 0, static_cast<uint8_t>(slot / 16 + 1));
  EXPECT_TRUE(v.crcOk);
  return std::vector<uint8_t>(v.data.begin() + slot % 16 * 16, v.data.begin() + slot % 16 * 16 + 16);
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream f(path, std::ios::binary);
  f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

class Hobeta : public ::testing::Test {
 protected:
  testing_support::ScopedDialogs<decltype(&platform::SetDialogs)> guard{&platform::SetDialogs};
  testing_support::RecordingDialogs& dialogs = guard.dialogs;
  disk_test::TempDir dir;

  std::string File(const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string path = dir.File(name);
    WriteFile(path, bytes);
    return path;
  }
};

}  // namespace

TEST_F(Hobeta, FilesAccumulateOnOneProtectedDisk) {
  const auto first = MakeHobeta("first   ", 3, 0x10);
  const auto second = MakeHobeta("\x01" "second ", 17, 0x40, 0x99);  // deleted name, byte 13 set
  TDiskImage image;
  ASSERT_TRUE(image.Open(File("a.$c", first), false));
  ASSERT_TRUE(image.Open(File("b.!C", second), false));
  EXPECT_TRUE(dialogs.Messages().empty());
  EXPECT_TRUE(image.Inserted);
  EXPECT_TRUE(image.WriteProtect);
  EXPECT_EQ(image.Format, ImageFormat::Hobeta);
  EXPECT_EQ(image.FileName, dir.File("b.!C"));
  EXPECT_EQ(image.MaxCylinder(), 79);

  const System sys = ReadSystem(image.Disk());
  EXPECT_EQ(sys.files, 2);
  EXPECT_EQ(sys.deleted, 1);
  EXPECT_EQ(sys.free, 2544 - 20);
  EXPECT_EQ(sys.t * 16 + sys.s, 16 + 20);

  std::vector<uint8_t> e1(first.begin(), first.begin() + 13);
  e1.insert(e1.end(), {3, 0, 1});
  EXPECT_EQ(Entry(image.Disk(), 0), e1);
  std::vector<uint8_t> e2(second.begin(), second.begin() + 13);
  e2.insert(e2.end(), {17, 3, 1});  // byte 14 gives the count, not byte 13
  EXPECT_EQ(Entry(image.Disk(), 1), e2);

  // The second file's sectors run from track 1, sector 4 into track 2.
  for (int k = 0; k < 17; ++k) {
    const int at = 16 + 3 + k;
    const SectorView v = ReadSector(image.Disk(), at / 32, at / 16 % 2, static_cast<uint8_t>(at % 16 + 1));
    EXPECT_TRUE(v.crcOk) << k;
    EXPECT_EQ(v.data, std::vector<uint8_t>(256, static_cast<uint8_t>(0x40 + k))) << k;
  }

  // Never written back, even when changed.
  image.Modified = true;
  image.WriteProtect = false;
  int writes = 0;
  platform::SetFileWriterForTesting([&](const std::string&, const void*, size_t) { return ++writes, true; });
  EXPECT_TRUE(image.Flush());
  platform::SetFileWriterForTesting(nullptr);
  EXPECT_EQ(writes, 0);
}

// Such a disk is never written back, so the drive takes no write that would
// be lost: TR-DOS meets a protected disk, whatever the drive was set to.
TEST_F(Hobeta, ADiskBuiltFromHobetaFilesTakesNoWrites) {
  disk_test::ControllerPorts ports;
  ports.fdc.DriveWriteProtect[1] = false;
  ASSERT_TRUE(ports.fdc.InsertDisk(1, File("a.$c", MakeHobeta("first   ", 3, 0x10))));
  EXPECT_TRUE(ports.fdc.DriveWriteProtect[1]);
  ports.Select(1, 0);
  ports.fdc.WriteRegister(disk_test::kCmd, 0x08);  // restore, head loaded
  ports.now += 300000;
  EXPECT_EQ(ports.fdc.ReadRegister(disk_test::kCmd) & 0x40, 0x40);

  const auto before = Describe(ports.fdc.Drive(1).Disk());
  // A file's first sector, and a Write Track over the catalogue.
  ports.Seek(1);
  ports.WriteSector(1, std::vector<uint8_t>(256, 0xAA));
  EXPECT_EQ(ports.fdc.Status, 0x60);
  ports.Seek(0);
  ports.WriteTrack(disk_test::FormatStream(0, {1, 2, 3}, 0));
  EXPECT_EQ(ports.fdc.Status, 0x60);
  EXPECT_EQ(Describe(ports.fdc.Drive(1).Disk()), before);
  EXPECT_FALSE(ports.fdc.Drive(1).Modified);
  EXPECT_TRUE(dialogs.Messages().empty());
}

TEST_F(Hobeta, ReplacesAnotherKindOfDisk) {
  const std::string trd = File("disk.trd", std::vector<uint8_t>(80 * 8192, 0x77));
  TDiskImage image;
  ASSERT_TRUE(image.Open(trd, false));
  ASSERT_TRUE(image.Open(File("x.$b", MakeHobeta("x       ", 1, 5)), false));
  EXPECT_EQ(ReadSystem(image.Disk()).files, 1);
  EXPECT_EQ(ReadSector(image.Disk(), 0, 1, 1).data, std::vector<uint8_t>(256, 5));
  EXPECT_EQ(ReadSector(image.Disk(), 0, 0, 2).data, std::vector<uint8_t>(256, 0));
}

TEST_F(Hobeta, WrongChecksumWarnsAndAdds) {
  TDiskImage image;
  ASSERT_TRUE(image.Open(File("w.$b", MakeHobeta("w       ", 2, 9, 0, false)), false));
  ASSERT_EQ(dialogs.Messages().size(), 1u);
  EXPECT_EQ(dialogs.Messages()[0].caption, "DiskImage Error!");
  EXPECT_EQ(dialogs.Messages()[0].text, "Ошибка CRC файла HOBETA!");
  EXPECT_EQ(ReadSystem(image.Disk()).files, 1);
}

TEST_F(Hobeta, RefusedFilesLeaveTheDriveAsItWas) {
  const auto good = MakeHobeta("good    ", 2, 1);
  struct Case {
    const char* name;
    std::vector<uint8_t> file;
  };
  const Case cases[] = {
      {"16 bytes", std::vector<uint8_t>(good.begin(), good.begin() + 16)},
      {"one sector byte short", std::vector<uint8_t>(good.begin(), good.end() - 1)},
      {"empty", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // Into an empty drive: it stays empty.
    TDiskImage empty;
    dialogs.Clear();
    EXPECT_FALSE(empty.Open(File("cut.$b", c.file), false));
    EXPECT_FALSE(empty.Inserted);
    ASSERT_EQ(dialogs.Messages().size(), 1u);
    EXPECT_EQ(dialogs.Messages()[0].text, "Открываемый файл поврежден (обрезан) и не может быть открыт!");
    // Onto a HOBETA disk: it keeps its files.
    TDiskImage held;
    ASSERT_TRUE(held.Open(File("good.$b", good), false));
    const auto before = Describe(held.Disk());
    EXPECT_TRUE(held.Open(File("cut.$b", c.file), false));
    EXPECT_EQ(Describe(held.Disk()), before);
    EXPECT_EQ(held.FileName, dir.File("good.$b"));
  }
}

TEST_F(Hobeta, AFullCatalogueOrDiskRefusesTheFile) {
  // 128 empty files fill the catalogue; the next one would land in the
  // system sector.
  LoadResult r = LoadHobeta(MakeHobeta("f0      ", 0, 0), {});
  ASSERT_TRUE(r.Ok);
  for (int k = 1; k < 128; ++k) {
    LoadOptions o;
    o.Existing = &r.Disk;
    r = LoadHobeta(MakeHobeta("fN      ", 0, 0), o);
    ASSERT_TRUE(r.Ok) << k;
  }
  EXPECT_EQ(ReadSystem(r.Disk).files, 128);
  LoadOptions o;
  o.Existing = &r.Disk;
  LoadResult full = LoadHobeta(MakeHobeta("late    ", 1, 0), o);
  EXPECT_FALSE(full.Ok);
  EXPECT_EQ(full.Error, DiskMessage::HobetaNoRoom);
  EXPECT_EQ(ReadSystem(r.Disk).files, 128);
  EXPECT_EQ(ReadSector(r.Disk, 0, 0, 9).data[231], 16);

  // Nine files of 255 sectors leave 249: a tenth of 255 does not fit, one of
  // 249 fills the disk to its last sector.
  LoadResult d = LoadHobeta(MakeHobeta("big     ", 255, 0), {});
  for (int k = 1; k < 9; ++k) {
    LoadOptions more;
    more.Existing = &d.Disk;
    d = LoadHobeta(MakeHobeta("big     ", 255, static_cast<uint8_t>(k)), more);
    ASSERT_TRUE(d.Ok);
  }
  LoadOptions more;
  more.Existing = &d.Disk;
  const auto before = Describe(d.Disk);
  EXPECT_EQ(LoadHobeta(MakeHobeta("toobig  ", 255, 0), more).Error, DiskMessage::HobetaNoRoom);
  EXPECT_EQ(Describe(d.Disk), before);
  LoadResult last = LoadHobeta(MakeHobeta("last    ", 249, 0x33), more);
  ASSERT_TRUE(last.Ok);
  const System sys = ReadSystem(last.Disk);
  EXPECT_EQ(sys.t, 160);
  EXPECT_EQ(sys.s, 0);
  EXPECT_EQ(sys.free, 0);
  EXPECT_EQ(ReadSector(last.Disk, 79, 1, 16).data, std::vector<uint8_t>(256, static_cast<uint8_t>(0x33 + 248)));
  more.Existing = &last.Disk;
  EXPECT_EQ(LoadHobeta(MakeHobeta("empty   ", 0, 0), more).Error, DiskMessage::HobetaNoRoom);

  // Through Open, the refusal is shown under the engine's caption.
  TDiskImage image;
  const std::string big = dir.File("big.$b");
  WriteFile(big, MakeHobeta("big     ", 255, 0));
  for (int k = 0; k < 9; ++k) ASSERT_TRUE(image.Open(big, false));
  dialogs.Clear();
  EXPECT_TRUE(image.Open(big, false));
  ASSERT_EQ(dialogs.Messages().size(), 1u);
  EXPECT_EQ(dialogs.Messages()[0].caption, "DiskImage Error!");
  EXPECT_EQ(dialogs.Messages()[0].text, DiskMessageString(DiskMessage::HobetaNoRoom));
  EXPECT_EQ(ReadSystem(image.Disk()).files, 9);
}

TEST_F(Hobeta, HostileInput) {
  const auto file = MakeHobeta("hostile ", 3, 0x20);
  Hostile(&LoadHobeta, nullptr, file, {}, 60);
  const TDiskContents held = LoadHobeta(MakeHobeta("held    ", 2, 1), {}).Disk;
  LoadOptions onto;
  onto.Existing = &held;
  Hostile(&LoadHobeta, nullptr, file, onto, 60);
}
