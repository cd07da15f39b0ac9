// Write-back goes through a link to its target, and a file the user made
// read-only protects the drive.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "disk/disk_image.h"
#include "disk/formats.h"
#include "disk/vg93.h"
#include "disk_test_util.h"
#include "platform/files.h"
#include "support/recording_dialogs.h"

using namespace disk;
namespace fs = std::filesystem;

namespace {

class HostilePaths : public ::testing::Test {
 protected:
  testing_support::ScopedDialogs<decltype(&platform::SetDialogs)> guard{&platform::SetDialogs};
  testing_support::RecordingDialogs& dialogs = guard.dialogs;
  disk_test::TempDir dir;

  std::string MakeTrd(const std::string& name) {
    const std::string path = dir.File(name);
    EXPECT_TRUE(platform::WriteFileAtomic(path, *SaveTrd(FormatTrdos(80, 2))));
    return path;
  }
};

}  // namespace

TEST_F(HostilePaths, WriteBackGoesThroughALinkAndAReadOnlyFileIsProtected) {
  const std::string target = MakeTrd("real.trd");
  const std::string link = dir.File("link.trd");
  fs::create_symlink(target, link);
  uint64_t now = 0;
  T1818VG93 fdc([&] { return now; });
  ASSERT_TRUE(fdc.InsertDisk(0, link));
  TDiskImage& image = fdc.Drive(0);
  TSectorInfo info;
  ASSERT_TRUE(FindSector(image, 0, 0, 1, info, 0));
  image.Disk().Track(0, 0)->Data[info.DataPos] = 0x5A;
  UpdateDataCrc(image.Disk(), info);
  image.Modified = true;
  ASSERT_TRUE(image.Flush());
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(platform::ReadWholeFile(target).value().at(0), 0x5A);

  // A file the user made read-only protects the drive, whatever was asked.
  const std::string locked = MakeTrd("locked.trd");
  ASSERT_EQ(chmod(locked.c_str(), 0444), 0);
  fdc.DriveWriteProtect[1] = false;
  ASSERT_TRUE(fdc.InsertDisk(1, locked));
  EXPECT_TRUE(fdc.Drive(1).WriteProtect);
  EXPECT_TRUE(fdc.DriveWriteProtect[1]);
  EXPECT_TRUE(dialogs.Messages().empty());
}
