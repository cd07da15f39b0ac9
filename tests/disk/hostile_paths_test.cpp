// Opening what is not a plain image file: special files are named in the
// open error and kept, huge files are refused by size before being read,
// and write-back goes through a link and respects a read-only file.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

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

  std::string OnlyMessage() {
    const auto shown = dialogs.Messages();
    EXPECT_EQ(shown.size(), 1u);
    return shown.empty() ? std::string() : shown[0].text;
  }
  std::string MakeTrd(const std::string& name) {
    const std::string path = dir.File(name);
    EXPECT_TRUE(platform::WriteFileAtomic(path, *SaveTrd(FormatTrdos(80, 2))));
    return path;
  }
};

long PeakRssKb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

}  // namespace

TEST_F(HostilePaths, SpecialFilesGetTheOpenErrorAndStayAsTheyWere) {
  const struct {
    const char* name;
    void (*make)(const std::string&);
    bool (*still)(const fs::path&);
  } kinds[] = {
      {"fifo.trd", [](const std::string& p) { ASSERT_EQ(mkfifo(p.c_str(), 0644), 0); },
       [](const fs::path& p) { return fs::is_fifo(p); }},
      {"dir.scl", [](const std::string& p) { fs::create_directory(p); },
       [](const fs::path& p) { return fs::is_directory(p); }},
      {"dangling.fdi", [](const std::string& p) { fs::create_symlink(p + ".gone", p); },
       [](const fs::path& p) { return fs::is_symlink(p) && !fs::exists(p); }},
  };
  for (const auto& k : kinds) {
    SCOPED_TRACE(k.name);
    dialogs.Clear();
    const std::string path = dir.File(k.name);
    k.make(path);
    TDiskImage image;
    // Answering the create question would replace the file with a blank disk.
    dialogs.SetDefaultAnswer(platform::MsgResult::Yes);
    EXPECT_FALSE(image.Open(path, false));
    EXPECT_EQ(OnlyMessage(), "Ошибка открытия файла " + path);
    EXPECT_FALSE(image.Inserted);
    EXPECT_TRUE(k.still(path));
  }
}

TEST_F(HostilePaths, HugeFilesAreRefusedBySizeWithoutBeingRead) {
  const struct {
    const char* name;
    DiskMessage message;
  } cases[] = {{"a.trd", DiskMessage::TooManyCylinders}, {"a.scl", DiskMessage::SclFormat},
               {"a.fdi", DiskMessage::FdiFormat},        {"a.fdd", DiskMessage::TooManyCylinders},
               {"a.udi", DiskMessage::UdiFormat},        {"a.td0", DiskMessage::Td0Format},
               {"a.$c", DiskMessage::UnknownFormat}};
  const long before = PeakRssKb();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    dialogs.Clear();
    const std::string path = dir.File(c.name);
    std::ofstream(path).close();
    fs::resize_file(path, 2ull << 30);  // sparse: takes no room on the disk
    TDiskImage image;
    EXPECT_FALSE(image.Open(path, false));
    EXPECT_EQ(OnlyMessage(), DiskMessageString(c.message));
    EXPECT_FALSE(image.Inserted);
    fs::remove(path);
  }
  // Reading any of them would have taken its 2 GB into memory.
  EXPECT_LT(PeakRssKb() - before, 256 * 1024);
}

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
