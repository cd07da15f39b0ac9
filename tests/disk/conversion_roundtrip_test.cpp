// Images passed from format to format, our own files read back, and new
// images created through Open.
#include <gtest/gtest.h>

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

struct Format {
  const char* name;
  LoadFn load;
  SaveFn save;
};

const Format kFormats[] = {
    {"fdi", &LoadFdi, &SaveFdi},
    {"fdd", &LoadFdd, &SaveFdd},
    {"udi", &LoadUdi, &SaveUdi},
    {"td0", &LoadTd0, &SaveTd0},
};

// Every sector of the TRD differs from every other.
std::vector<uint8_t> DistinctTrd(int cylinders) {
  std::vector<uint8_t> trd(static_cast<size_t>(cylinders) * 8192);
  for (size_t k = 0; k < trd.size(); ++k) trd[k] = static_cast<uint8_t>((k / 256) * 13 + (k % 256) * 7 + (k >> 16));
  return trd;
}

LoadResult Through(const Format& f, const TDiskContents& disk) {
  const auto bytes = f.save(disk);
  EXPECT_TRUE(bytes) << f.name;
  if (!bytes) return {};
  LoadResult r = f.load(*bytes, {});
  EXPECT_TRUE(r.Ok) << f.name;
  return r;
}

std::vector<uint8_t> ReadFile(const std::string& path) {
  return platform::ReadWholeFile(path).value_or(std::vector<uint8_t>{});
}

}  // namespace

TEST(Conversion, TrdThroughEveryFormatKeepsEverySector) {
  const auto trd = DistinctTrd(80);
  LoadResult start = LoadTrd(trd, {});
  ASSERT_TRUE(start.Ok);
  // TRD -> FDI -> UDI -> TD0 -> TRD, and TRD -> FDD -> TRD.
  LoadResult fdi = Through(kFormats[0], start.Disk);
  LoadResult udi = Through(kFormats[2], fdi.Disk);
  LoadResult td0 = Through(kFormats[3], udi.Disk);
  EXPECT_EQ(SaveTrd(td0.Disk), trd);
  EXPECT_EQ(SaveTrd(Through(kFormats[1], start.Disk).Disk), trd);
  EXPECT_EQ(Describe(td0.Disk), Describe(start.Disk));
}

TEST(Conversion, OwnFilesComeBackUnchanged) {
  // A TR-DOS disk with one odd track: a deleted mark, an ID without data, a
  // bad data CRC and a 1024-byte sector.
  TDiskContents disk = LoadTrd(DistinctTrd(3), {}).Disk;
  RawTrack odd;
  odd.Id(1, 0, 1, 1).DataField(0xF8, Pattern(256, 1));
  odd.Id(1, 0, 2, 1);
  odd.Id(1, 0, 3, 1).DataField(0xFB, Pattern(256, 3), false);
  odd.Id(1, 0, 4, 3).DataField(0xFB, Pattern(1024, 4));
  PutTrack(disk, 1, 1, odd.Build());
  for (const Format& f : kFormats) {
    SCOPED_TRACE(f.name);
    const auto first = f.save(disk);
    ASSERT_TRUE(first);
    LoadResult loaded = f.load(*first, {});
    ASSERT_TRUE(loaded.Ok);
    EXPECT_EQ(f.save(loaded.Disk), first);
    // The standard tracks keep every byte of their data.
    for (int c = 0; c < 3; ++c) {
      for (int s = 0; s < 2; ++s) {
        if (c == 1 && s == 1) continue;
        for (uint8_t r = 1; r <= 16; ++r)
          EXPECT_EQ(ReadSector(loaded.Disk, c, s, r).data, ReadSector(disk, c, s, r).data);
      }
    }
    EXPECT_EQ(ReadSector(loaded.Disk, 1, 1, 4).data, Pattern(1024, 4));
  }
  // FDI keeps the odd track's flags as they are.
  LoadResult fdi = LoadFdi(*SaveFdi(disk), {});
  EXPECT_EQ(Describe(fdi.Disk), Describe(disk));
}

class CreateAndWriteBack : public ::testing::Test {
 protected:
  testing_support::ScopedDialogs<decltype(&platform::SetDialogs)> guard{&platform::SetDialogs};
  testing_support::RecordingDialogs& dialogs = guard.dialogs;
  disk_test::TempDir dir;
};

TEST_F(CreateAndWriteBack, NewImagesOfEveryWritableFormat) {
  const struct {
    const char* name;
    ImageFormat format;
  } cases[] = {{"new.fdi", ImageFormat::Fdi},
               {"NEW.FDD", ImageFormat::Fdd},
               {"new.Udi", ImageFormat::Udi},
               {"new.td0", ImageFormat::Td0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    dialogs.Clear();
    dialogs.Script({platform::MsgResult::Yes});
    const std::string path = dir.File(c.name);
    {
      TDiskImage image;
      ASSERT_TRUE(image.Open(path, false));
      ASSERT_EQ(dialogs.Messages().size(), 1u);
      EXPECT_EQ(dialogs.Messages()[0].caption, "Create disk image");
      EXPECT_EQ(image.Format, c.format);
      EXPECT_FALSE(image.Modified);
      ASSERT_TRUE(platform::FileExists(path));
      // Change a sector as the controller would; the destructor writes back.
      TSectorInfo info;
      ASSERT_TRUE(FindSector(image, 40, 1, 5, info, 0));
      image.Disk().Track(40, 1)->Data[info.DataPos + 17] = 0xA5;
      UpdateDataCrc(image.Disk(), info);
      image.Modified = true;
    }
    TDiskImage again;
    dialogs.Clear();
    ASSERT_TRUE(again.Open(path, true));
    EXPECT_TRUE(dialogs.Messages().empty());
    EXPECT_EQ(again.MaxCylinder(), 79);
    EXPECT_EQ(again.MaxSide(), 1);
    const SectorView sys = ReadSector(again.Disk(), 0, 0, 9);
    EXPECT_EQ(sys.data[229] | sys.data[230] << 8, 2544);
    EXPECT_EQ(std::string(sys.data.begin() + 245, sys.data.begin() + 253), "OVRIN   ");
    const SectorView changed = ReadSector(again.Disk(), 40, 1, 5);
    EXPECT_TRUE(changed.crcOk);
    EXPECT_EQ(changed.data[17], 0xA5);
  }
  // HOBETA files are never created.
  dialogs.Clear();
  dialogs.Script({platform::MsgResult::Yes});
  TDiskImage image;
  EXPECT_FALSE(image.Open(dir.File("new.$b"), false));
  ASSERT_EQ(dialogs.Messages().size(), 2u);
  EXPECT_EQ(dialogs.Messages()[1].text, "Допустимо создавать только TRD, SCL и FDI файлы!");
  EXPECT_FALSE(platform::FileExists(dir.File("new.$b")));
}

TEST_F(CreateAndWriteBack, WriterRefusalKeepsTheFileAndTheChanges) {
  // Tracks the writers cannot store: a data field FDD cannot drop, and more
  // IDs than FDI's and TD0's counts.
  RawTrack large;
  large.Id(0, 0, 1, 7).DataField(0xFB, Pattern(100, 1));
  RawTrack crowded;
  for (int k = 0; k < 256; ++k) crowded.Gap(1).Id(0, 0, static_cast<uint8_t>(k), 0);
  const struct {
    const char* name;
    RawTrack* track;
  } cases[] = {{"big.fdd", &large}, {"many.td0", &crowded}, {"many.fdi", &crowded}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.File(c.name);
    dialogs.Script({platform::MsgResult::Yes});
    TDiskImage image;
    ASSERT_TRUE(image.Open(path, false));
    const auto original = ReadFile(path);
    TTrack t = c.track->Build(c.track == &crowded ? 65535 : kStandardTrackLength);
    image.Disk().SetTrack(3, 0, std::move(t.Data), std::move(t.Marks));
    image.Modified = true;
    dialogs.Clear();
    EXPECT_FALSE(image.Flush());
    ASSERT_EQ(dialogs.Messages().size(), 1u);
    EXPECT_EQ(dialogs.Messages()[0].text, "Ошибка записи файла!");
    EXPECT_TRUE(image.Modified);
    EXPECT_EQ(ReadFile(path), original);
    image.WriteProtect = true;  // let the destructor leave it
  }
}

// A program changes a disk through the controller's ports in ways a writer
// may not be able to store; the write-back either gives a file that opens
// with the same sectors or is refused before anything is written.
TEST_F(CreateAndWriteBack, ChangesThroughTheControllerReopenOrAreRefused) {
  const auto trd = DistinctTrd(80);
  const TDiskContents trdDisk = LoadTrd(trd, {}).Disk;
  std::vector<disk_test::SclFile> full;
  for (int left = 4080; left > 0; left -= 255) full.push_back({"part    ", 'C', 0, 0, 255, 0x3C});
  const auto fullScl = disk_test::MakeScl(full);
  const auto smallScl = disk_test::MakeScl(
      {{"one     ", 'C', 0, 0, 40, 1}, {"two     ", 'B', 0, 0, 90, 2}, {"three   ", 'C', 0, 0, 7, 3}});

  enum Change { kOverlappingIds, kZeroedSystemSector, kLastSectorOfFullScl, kFieldLargerThanTrack };
  const struct {
    const char* file;
    Change change;
    bool written;
  } cases[] = {
      {"a.trd", kOverlappingIds, true},      {"a.scl", kOverlappingIds, true},
      {"a.fdi", kOverlappingIds, false},     {"a.fdd", kOverlappingIds, false},
      {"a.udi", kOverlappingIds, true},      {"a.td0", kOverlappingIds, false},
      {"b.trd", kZeroedSystemSector, true},  {"b.scl", kZeroedSystemSector, false},
      {"b.fdi", kZeroedSystemSector, true},  {"b.fdd", kZeroedSystemSector, true},
      {"b.udi", kZeroedSystemSector, true},  {"b.td0", kZeroedSystemSector, true},
      {"full.scl", kLastSectorOfFullScl, true},
      // FDI and TD0 keep such an ID without its data; FDD has no way to.
      {"c.fdi", kFieldLargerThanTrack, true}, {"c.td0", kFieldLargerThanTrack, true},
      {"c.fdd", kFieldLargerThanTrack, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    const ImageFormat format = FormatFromExtension(c.file);
    const FormatHandler* handler = FindFormatHandler(format);
    ASSERT_NE(handler, nullptr);
    // What the file holds of a disk: TRD and SCL keep TR-DOS sectors of 256
    // bytes, so their view is the file they make; the others keep the IDs.
    const auto stored = [&](const TDiskContents& d) {
      if (format == ImageFormat::Trd || format == ImageFormat::Scl) {
        const auto bytes = handler->Save(d);
        return std::vector<std::string>{bytes ? std::string(bytes->begin(), bytes->end()) : ""};
      }
      return Describe(d, true);
    };
    const std::string path = dir.File(c.file);
    const auto original = format == ImageFormat::Scl ? (c.change == kLastSectorOfFullScl ? fullScl : smallScl)
                          : format == ImageFormat::Trd ? trd
                                                       : *handler->Save(trdDisk);
    ASSERT_TRUE(platform::WriteFileAtomic(path, original));
    dialogs.Clear();
    disk_test::ControllerPorts ports;
    ASSERT_TRUE(ports.fdc.InsertDisk(0, path));
    ports.Select(0, 0);
    switch (c.change) {
      case kOverlappingIds:
        ports.Seek(1);
        ports.WriteTrack(disk_test::FormatStream(1, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16},
                                                 0xE5, 2));
        break;
      case kZeroedSystemSector:
        ports.WriteSector(9, std::vector<uint8_t>(256, 0));
        break;
      case kFieldLargerThanTrack: {
        ports.Seek(1);
        ports.WriteTrack(disk_test::OversizedFieldStream(1));
        const auto walk = WalkTrackIds(ports.fdc.Drive(0).Disk(), 1, 0, 100);
        ASSERT_EQ(walk.Ids.size(), 16u);
        ASSERT_TRUE(walk.Ids.back().DataFound && !walk.Ids.back().DataFits);
        ports.Seek(0);
        ports.WriteSector(1, std::vector<uint8_t>(256, 0x5A));
        break;
      }
      case kLastSectorOfFullScl:
        ports.Select(0, 1);
        ports.Seek(127);
        ports.WriteSector(16, std::vector<uint8_t>(256, 0xC3));
        break;
    }
    TDiskImage& drive = ports.fdc.Drive(0);
    ASSERT_TRUE(drive.Modified);
    const auto expected = stored(drive.Disk());
    EXPECT_EQ(drive.Flush(), c.written);
    if (c.written) {
      EXPECT_TRUE(dialogs.Messages().empty());
      TDiskImage again;
      ASSERT_TRUE(again.Open(path, true));
      EXPECT_TRUE(dialogs.Messages().empty());
      EXPECT_EQ(stored(again.Disk()), expected);
    } else {
      ASSERT_EQ(dialogs.Messages().size(), 1u);
      EXPECT_EQ(dialogs.Messages()[0].text, "Ошибка записи файла!");
      EXPECT_EQ(ReadFile(path), original);
      drive.WriteProtect = true;  // let the destructor leave it
    }
  }
}
