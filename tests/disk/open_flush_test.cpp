#include <gtest/gtest.h>

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <fstream>

#include "controller_ports.h"
#include "disk/disk_image.h"
#include "disk/formats.h"
#include "disk/vg93.h"
#include "disk_test_util.h"
#include "platform/dialogs.h"
#include "platform/files.h"
#include "support/recording_dialogs.h"

using namespace disk;
using platform::MsgResult;

namespace {

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream f(path, std::ios::binary);
  f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> ReadFile(const std::string& path) {
  return platform::ReadWholeFile(path).value_or(std::vector<uint8_t>{});
}

class OpenFlush : public ::testing::Test {
 protected:
  testing_support::ScopedDialogs<decltype(&platform::SetDialogs)> guard{&platform::SetDialogs};
  testing_support::RecordingDialogs& dialogs = guard.dialogs;
  disk_test::TempDir dir;

  void TearDown() override { platform::SetFileWriterForTesting(nullptr); }

  std::vector<std::string> Texts() {
    std::vector<std::string> v;
    for (const auto& m : dialogs.Messages()) v.push_back(m.text);
    return v;
  }
  void ExpectOnlyError(const std::string& text) {
    auto msgs = dialogs.Messages();
    ASSERT_EQ(msgs.size(), 1u);
    EXPECT_EQ(msgs[0].caption, "DiskImage Error!");
    EXPECT_EQ(msgs[0].text, text);
    EXPECT_EQ(msgs[0].buttons, platform::MsgButtons::Ok);
  }
  // A TRD file whose every byte says which sector it belongs to.
  std::string MakeTrd(const std::string& name, uint8_t salt = 0) {
    std::vector<uint8_t> bytes(80 * 8192);
    for (size_t k = 0; k < bytes.size(); ++k) bytes[k] = static_cast<uint8_t>(k / 256 + salt);
    const std::string path = dir.File(name);
    WriteFile(path, bytes);
    return path;
  }
  // Changes one data byte of sector 1 on cylinder 0 as the controller would.
  static void Touch(TDiskImage& image) {
    TSectorInfo info;
    ASSERT_TRUE(FindSector(image, 0, 0, 1, info, 0));
    image.Disk().Track(0, 0)->Data[info.DataPos] ^= 0xFF;
    UpdateDataCrc(image.Disk(), info);
    image.Modified = true;
  }
};

}  // namespace

TEST_F(OpenFlush, FormatsWithoutAReaderAreRefused) {
  for (const char* name : {"game.zip", "noextension", "a.fd", "b.UDI2"}) {
    SCOPED_TRACE(name);
    if (FindFormatHandler(FormatFromExtension(name))) continue;  // that format has its reader now
    dialogs.Clear();
    const std::string path = dir.File(name);
    WriteFile(path, std::vector<uint8_t>(8192, 0));
    TDiskImage image;
    EXPECT_FALSE(image.Open(path, false));
    ExpectOnlyError("Неизвестный формат файла!");
    EXPECT_FALSE(image.Inserted);
  }
}

TEST_F(OpenFlush, OpensByExtensionInAnyCase) {
  const std::string path = MakeTrd("Game.TrD");
  TDiskImage image;
  ASSERT_TRUE(image.Open(path, true));
  EXPECT_TRUE(dialogs.Messages().empty());
  EXPECT_TRUE(image.Inserted);
  EXPECT_TRUE(image.WriteProtect);
  EXPECT_FALSE(image.Modified);
  EXPECT_EQ(image.Format, ImageFormat::Trd);
  EXPECT_EQ(image.FileName, path);
  EXPECT_EQ(image.MaxCylinder(), 79);
}

TEST_F(OpenFlush, CreatingAMissingImage) {
  struct Case {
    const char* name;
    MsgResult answer;
    bool writerWorks;
    bool inserted;
    size_t fileSize;  // 0: no file
  };
  const Case cases[] = {
      {"no.trd", MsgResult::No, true, false, 0},
      {"yes.trd", MsgResult::Yes, true, true, 655360},
      {"yes.scl", MsgResult::Yes, true, true, 13},
      {"fails.trd", MsgResult::Yes, false, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    dialogs.Clear();
    dialogs.Script({c.answer});
    if (!c.writerWorks) platform::SetFileWriterForTesting([](const std::string&, const void*, size_t) { return false; });
    const std::string path = dir.File(c.name);
    TDiskImage image;
    EXPECT_EQ(image.Open(path, false), c.inserted);
    platform::SetFileWriterForTesting(nullptr);
    auto msgs = dialogs.Messages();
    ASSERT_GE(msgs.size(), 1u);
    EXPECT_EQ(msgs[0].caption, "Create disk image");
    EXPECT_EQ(msgs[0].text, "Файл не существует, создать?");
    EXPECT_EQ(msgs[0].buttons, platform::MsgButtons::YesNo);
    EXPECT_EQ(msgs[0].default_button, platform::MsgResult::Yes);
    if (!c.writerWorks) {
      ASSERT_EQ(msgs.size(), 2u);
      EXPECT_EQ(msgs[1].text, "Ошибка записи файла!");
    }
    EXPECT_EQ(image.Inserted, c.inserted);
    EXPECT_FALSE(image.Modified);
    EXPECT_EQ(platform::FileExists(path), c.fileSize != 0);
    if (c.fileSize) {
      EXPECT_EQ(ReadFile(path).size(), c.fileSize);
    }
  }
}

TEST_F(OpenFlush, FailingWriteBackKeepsTheFileAndTheChanges) {
  const std::string path = MakeTrd("keep.trd");
  const std::string other = MakeTrd("other.trd", 5);
  const auto original = ReadFile(path);
  TDiskImage image;
  ASSERT_TRUE(image.Open(path, false));
  Touch(image);

  int writes = 0;
  platform::SetFileWriterForTesting([&](const std::string&, const void*, size_t) {
    ++writes;
    return false;
  });
  EXPECT_FALSE(image.Flush());
  ExpectOnlyError("Ошибка записи файла!");
  EXPECT_TRUE(image.Modified);
  EXPECT_EQ(ReadFile(path), original);

  // Opening another file stops at the failed write-back: the changes stay.
  dialogs.Clear();
  EXPECT_FALSE(image.Open(other, false));
  ExpectOnlyError("Ошибка записи файла!");
  EXPECT_EQ(image.FileName, path);
  EXPECT_TRUE(image.Inserted);
  EXPECT_TRUE(image.Modified);
  EXPECT_EQ(writes, 2);

  platform::SetFileWriterForTesting(nullptr);
  EXPECT_TRUE(image.Flush());
  EXPECT_FALSE(image.Modified);
  const auto saved = ReadFile(path);
  ASSERT_EQ(saved.size(), original.size());
  EXPECT_EQ(saved[0], original[0] ^ 0xFF);
  EXPECT_TRUE(std::equal(saved.begin() + 1, saved.end(), original.begin() + 1));
}

TEST_F(OpenFlush, WhenWriteBackHappens) {
  struct Case {
    const char* name;
    bool writeProtect;
    bool modify;
    bool written;
  };
  const Case cases[] = {
      {"modified", false, true, true},
      {"write-protected", true, true, false},
      {"clean", false, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = MakeTrd(std::string(c.name) + ".trd");
    int writes = 0;
    {
      TDiskImage image;
      ASSERT_TRUE(image.Open(path, c.writeProtect));
      if (c.modify) Touch(image);
      platform::SetFileWriterForTesting([&](const std::string& p, const void*, size_t size) {
        ++writes;
        EXPECT_EQ(p, path);
        EXPECT_EQ(size, 655360u);
        return true;
      });
    }  // the destructor writes back
    platform::SetFileWriterForTesting(nullptr);
    EXPECT_EQ(writes, c.written ? 1 : 0);
  }
}

TEST_F(OpenFlush, SclWithoutSystemSectorIsNotWrittenBack) {
  const std::string path = dir.File("lost.scl");
  const auto scl = disk_test::MakeScl({{"one     ", 'C', 0, 0, 1, 9}});
  WriteFile(path, scl);
  TDiskImage image;
  ASSERT_TRUE(image.Open(path, false));
  TSectorInfo info;
  ASSERT_TRUE(FindSector(image, 0, 0, 9, info, 0));
  image.Disk().Track(0, 0)->Data[info.IdPos - 1] = 0;  // the system sector's ID mark is gone
  image.Modified = true;
  EXPECT_FALSE(image.Flush());
  ExpectOnlyError("Ошибка записи файла!");
  EXPECT_EQ(ReadFile(path), scl);
  EXPECT_TRUE(image.Modified);
  image.WriteProtect = true;  // let the destructor leave it
}

TEST_F(OpenFlush, RefusedImageLeavesTheDriveEmpty) {
  const std::string good = MakeTrd("good.trd");
  const std::string bad = dir.File("bad.scl");
  WriteFile(bad, {'S', 'I', 'N', 'C', 'L', 'A', 'I', 'R', 3, 0, 0, 0, 0});
  TDiskImage image;
  ASSERT_TRUE(image.Open(good, false));
  EXPECT_FALSE(image.Open(bad, false));
  ExpectOnlyError("Открываемый файл поврежден (обрезан) и не может быть открыт!");
  EXPECT_FALSE(image.Inserted);
  EXPECT_TRUE(image.Disk().Empty());
  EXPECT_EQ(image.Format, ImageFormat::None);
}

TEST_F(OpenFlush, ControllerInsertsWithItsBootOptionAndWriteProtection) {
  const std::string path = dir.File("arc.scl");
  WriteFile(path, disk_test::MakeScl({{"game    ", 'B', 10, 10, 1, 7}}));
  uint64_t now = 0;
  T1818VG93 fdc([&] { return now; });
  for (bool addBoot : {true, false}) {
    SCOPED_TRACE(addBoot);
    fdc.SclAddBoot = addBoot;
    fdc.DriveWriteProtect[2] = true;
    ASSERT_TRUE(fdc.InsertDisk(2, path));
    EXPECT_TRUE(fdc.Drive(2).WriteProtect);
    EXPECT_EQ(fdc.GetDiskFileName(2), path);
    const TSectorInfo* sys = fdc.SectorEntry(2, 0, 0, 9);
    ASSERT_NE(sys, nullptr);
    EXPECT_EQ(sys->DataByte(228), addBoot ? 2 : 1);
  }
  // An empty name empties the drive and its sector table.
  EXPECT_FALSE(fdc.InsertDisk(2, ""));
  EXPECT_FALSE(fdc.Drive(2).Inserted);
  EXPECT_EQ(fdc.SectorEntry(2, 0, 0, 9), nullptr);
}

// A write-back that can never succeed: the error, then a question whose safe
// answer keeps the disk and its changes; giving them up lets the drive take
// another image, with the refused file left as it was.
TEST_F(OpenFlush, LastingRefusalAsksBeforeGivingUpTheChanges) {
  const std::string other = MakeTrd("other.trd", 5);
  std::filesystem::create_directories(dir.File("gone"));
  const struct {
    const char* name;
    std::string path;
  } cases[] = {
      {"SCL whose system sector a program zeroed", dir.File("arc.scl")},
      {"image whose folder has gone", dir.File("gone/game.trd")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.path.ends_with(".scl"))
      WriteFile(c.path, disk_test::MakeScl({{"one     ", 'C', 0, 0, 3, 9}}));
    else
      WriteFile(c.path, ReadFile(MakeTrd("source.trd")));
    const auto original = ReadFile(c.path);
    disk_test::ControllerPorts ports;
    ASSERT_TRUE(ports.fdc.InsertDisk(1, c.path));
    ports.Select(1, 0);
    ports.WriteSector(9, std::vector<uint8_t>(256, 0));
    ASSERT_TRUE(ports.fdc.Drive(1).Modified);
    if (!c.path.ends_with(".scl")) std::filesystem::remove_all(dir.File("gone"));

    for (const MsgResult answer : {MsgResult::No, MsgResult::Yes}) {
      SCOPED_TRACE(answer == MsgResult::Yes ? "given up" : "kept");
      dialogs.Clear();
      dialogs.Script({MsgResult::Ok, answer});
      const bool opened = ports.fdc.InsertDisk(1, other);
      const auto msgs = dialogs.Messages();
      ASSERT_EQ(msgs.size(), 2u);
      EXPECT_EQ(msgs[0].text, "Ошибка записи файла!");
      EXPECT_EQ(msgs[1].caption, "DiskImage Error!");
      EXPECT_EQ(msgs[1].buttons, platform::MsgButtons::YesNo);
      EXPECT_EQ(msgs[1].icon, platform::MsgIcon::Question);
      EXPECT_EQ(msgs[1].default_button, MsgResult::No);  // Enter loses nothing
      EXPECT_NE(msgs[1].text.find(c.path), std::string::npos);
      EXPECT_NE(msgs[1].text.find("Отказаться от этих изменений"), std::string::npos);
      const TDiskImage& drive = ports.fdc.Drive(1);
      EXPECT_EQ(opened, answer == MsgResult::Yes);
      EXPECT_EQ(drive.FileName, answer == MsgResult::Yes ? other : c.path);
      EXPECT_EQ(drive.Modified, answer == MsgResult::No);
      EXPECT_TRUE(drive.Inserted);
    }
    EXPECT_EQ(ReadFile(c.path), c.path.ends_with(".scl") ? original : std::vector<uint8_t>{});
  }
}

// On the way out a passing failure (a failing file system) is asked about
// as a lasting one is: nothing can wait for a later try. No keeps the
// changes, Yes gives them up with the file left as it was.
TEST_F(OpenFlush, FlushOrDiscardAsksAlsoAfterAPassingFailure) {
  const std::string path = MakeTrd("game.trd");
  const auto original = ReadFile(path);
  disk_test::ControllerPorts ports;
  ASSERT_TRUE(ports.fdc.InsertDisk(0, path));
  ports.Select(0, 0);
  ports.WriteSector(1, std::vector<uint8_t>(256, 0xE5));
  TDiskImage& drive = ports.fdc.Drive(0);
  platform::SetFileWriterForTesting([](const std::string&, const void*, size_t) { return false; });
  for (const MsgResult answer : {MsgResult::No, MsgResult::Yes}) {
    dialogs.Clear();
    dialogs.Script({MsgResult::Ok, answer});
    EXPECT_EQ(drive.FlushOrDiscard(), answer == MsgResult::Yes);
    EXPECT_EQ(Texts().size(), 2u);
    EXPECT_EQ(drive.Modified, answer == MsgResult::No);
  }
  platform::SetFileWriterForTesting(nullptr);
  EXPECT_EQ(ReadFile(path), original);
}

// Whatever makes an open fail, the drive remembers the name it was given, so
// that its open dialog proposes that file again.
TEST_F(OpenFlush, FailedOpenKeepsTheNameItWasGiven) {
  const std::string good = MakeTrd("good.trd");
  const std::string cut = dir.File("cut.fdi");
  WriteFile(cut, {'F', 'D', 'I'});
  const std::string unreadable = dir.File("folder.trd");
  std::filesystem::create_directories(unreadable);
  const struct {
    const char* name;
    std::string path;
    MsgResult answer;  // to the creation question, when one comes
  } cases[] = {
      {"missing file, not created", dir.File("missing.trd"), MsgResult::No},
      {"cut file", cut, MsgResult::Ok},
      {"not a file", unreadable, MsgResult::Ok},
      {"unknown format", dir.File("game.zip"), MsgResult::Ok},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TDiskImage image;
    ASSERT_TRUE(image.Open(good, false));
    dialogs.Clear();
    dialogs.Script({c.answer});
    EXPECT_FALSE(image.Open(c.path, false));
    EXPECT_EQ(dialogs.Messages().size(), 1u);
    EXPECT_FALSE(image.Inserted);
    EXPECT_EQ(image.FileName, c.path);
  }
}

namespace {

constexpr int kCannotSwitchUser = 101;
constexpr int kUserWritesAnywhere = 102;

// Runs `check` as the unprivileged user 65534 in a child process when we
// are the superuser (who would write anything), else as ourselves. Its
// result, or kCannotSwitchUser.
int AsUnprivilegedUser(const std::function<int()>& run) {
  if (::geteuid() != 0) return run();
  const pid_t child = ::fork();
  if (child < 0) return kCannotSwitchUser;
  if (child == 0) {
    if (::setgroups(0, nullptr) != 0 || ::setresgid(65534, 65534, 65534) != 0 ||
        ::setresuid(65534, 65534, 65534) != 0)
      ::_exit(kCannotSwitchUser);
    ::_exit(run());
  }
  int status = 0;
  if (::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

// Runs `check` as a user without privileges over `folder`; its result, or
// one of the two codes above when the case cannot be set up here.
int AsUserWhoCannotWrite(const std::string& folder, const std::function<int()>& check) {
  return AsUnprivilegedUser([&] {
    if (::access(folder.c_str(), W_OK) == 0) return kUserWritesAnywhere;
    return check();
  });
}

}  // namespace

// An image the user may write, in a folder the user may not: no new file can
// be made there to replace it, so it opens write-protected, drive and all,
// and TR-DOS meets a protected disk instead of losing its writes later.
TEST_F(OpenFlush, ImageInAFolderTheUserCannotWriteOpensWriteProtected) {
  const std::string folder = dir.File("locked");
  std::filesystem::create_directories(folder);
  const std::string path = folder + "/game.trd";
  WriteFile(path, ReadFile(MakeTrd("source.trd")));
  // Every user may reach and read the image, and write it, but not its folder.
  ASSERT_EQ(::chmod(dir.File("").c_str(), 0755), 0);
  ASSERT_EQ(::chmod(path.c_str(), 0666), 0);
  ASSERT_EQ(::chmod(folder.c_str(), ::geteuid() == 0 ? 0755 : 0555), 0);
  const auto original = ReadFile(path);

  const int result = AsUserWhoCannotWrite(folder, [&] {
    int faults = 0;
    disk_test::ControllerPorts ports;
    if (!ports.fdc.InsertDisk(0, path)) return 1;
    if (!ports.fdc.Drive(0).WriteProtect) faults |= 2;
    if (!ports.fdc.DriveWriteProtect[0]) faults |= 4;
    ports.Select(0, 0);
    ports.fdc.WriteRegister(disk_test::kSector, 1);
    ports.fdc.WriteRegister(disk_test::kCmd, 0xA0);
    if (ports.fdc.Status != 0x60) faults |= 8;
    if (ports.fdc.Drive(0).Modified || !ports.fdc.Drive(0).Flush()) faults |= 16;
    return faults;
  });
  ::chmod(folder.c_str(), 0755);
  if (result == kCannotSwitchUser) GTEST_SKIP() << "no unprivileged user can be switched to here";
  if (result == kUserWritesAnywhere) GTEST_SKIP() << "this user may write into any folder";
  EXPECT_EQ(result, 0) << "1: not opened, 2: image writable, 4: drive writable, 8: a write taken, "
                          "16: a write-back due";
  EXPECT_EQ(ReadFile(path), original);
}

// Two drives writing one file back would each undo the other's changes: a
// file another drive holds writable opens write-protected, drive and all,
// and the user is told once. However the file is named.
TEST_F(OpenFlush, AFileHeldWritableInAnotherDriveOpensWriteProtected) {
  const std::string path = MakeTrd("game.trd");
  std::filesystem::create_directories(dir.File("sub"));
  std::filesystem::create_symlink(path, dir.File("link.trd"));
  std::filesystem::create_hard_link(path, dir.File("hard.trd"));
  const struct {
    const char* name;
    std::string second;
    bool firstProtected;
    bool shared;
  } cases[] = {
      {"same name", path, false, true},
      {"another spelling", dir.File("sub/../game.trd"), false, true},
      {"symbolic link", dir.File("link.trd"), false, true},
      {"hard link", dir.File("hard.trd"), false, true},
      {"the first drive's copy is write-protected", path, true, false},
      {"another file", MakeTrd("other.trd"), false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    dialogs.Clear();
    const auto original = ReadFile(path);
    {
      disk_test::ControllerPorts ports;
      ports.fdc.DriveWriteProtect[0] = c.firstProtected;
      ASSERT_TRUE(ports.fdc.InsertDisk(0, path));
      ASSERT_TRUE(ports.fdc.InsertDisk(1, c.second));
      EXPECT_EQ(ports.fdc.Drive(1).WriteProtect, c.shared);
      EXPECT_EQ(ports.fdc.DriveWriteProtect[1], c.shared);
      if (c.shared) {
        ASSERT_EQ(dialogs.Messages().size(), 1u);
        EXPECT_EQ(dialogs.Messages()[0].caption, "DiskImage Error!");
        EXPECT_NE(dialogs.Messages()[0].text.find(c.second), std::string::npos);
        EXPECT_NE(dialogs.Messages()[0].text.find("только для чтения"), std::string::npos);
      } else {
        EXPECT_TRUE(dialogs.Messages().empty());
      }
      // Each drive changes a sector of its own, then both are written back.
      ports.Select(0, 0);
      ports.WriteSector(1, std::vector<uint8_t>(256, 0xA1));
      ports.Select(1, 0);
      ports.WriteSector(2, std::vector<uint8_t>(256, 0xB2));
      EXPECT_EQ(ports.fdc.Status, c.shared ? 0x60 : 0x00);
      EXPECT_TRUE(ports.fdc.Drive(0).Flush());
      EXPECT_TRUE(ports.fdc.Drive(1).Flush());
      EXPECT_EQ(dialogs.Messages().size(), c.shared ? 1u : 0u);
    }
    const auto first = ReadFile(path), second = ReadFile(c.second);
    ASSERT_EQ(first.size(), original.size());
    ASSERT_EQ(second.size(), original.size());
    EXPECT_EQ(first[0], c.firstProtected ? original[0] : 0xA1);
    EXPECT_EQ(second[256], c.shared ? original[256] : 0xB2);
    WriteFile(path, original);
  }
}

// A file the user made read-only after opening it writable: the write-back
// does not replace it (which its folder would allow), says so, and the
// question of a lasting refusal lets the drive take another image. Run as
// a user without privileges, who may write the folder.
TEST_F(OpenFlush, AnImageMadeReadOnlyAfterOpeningIsNotReplaced) {
  const std::string folder = dir.File("open");
  std::filesystem::create_directories(folder);
  ASSERT_EQ(::chmod(dir.File("").c_str(), 0755), 0);
  ASSERT_EQ(::chmod(folder.c_str(), 0777), 0);
  const auto bytes = ReadFile(MakeTrd("source.trd"));
  const int result = AsUnprivilegedUser([&] {
    const std::string path = folder + "/game.trd", other = folder + "/other.trd";
    WriteFile(path, bytes);
    WriteFile(other, bytes);
    int faults = 0;
    disk_test::ControllerPorts ports;
    if (!ports.fdc.InsertDisk(0, path) || ports.fdc.Drive(0).WriteProtect) return 1;
    ::chmod(path.c_str(), 0444);
    ports.Select(0, 0);
    ports.WriteSector(1, std::vector<uint8_t>(256, 0xC3));
    if (!ports.fdc.Drive(0).Modified) faults |= 2;
    dialogs.Clear();
    dialogs.Script({MsgResult::Ok, MsgResult::Yes});
    if (!ports.fdc.InsertDisk(0, other) || ports.fdc.Drive(0).FileName != other) faults |= 4;
    const auto msgs = dialogs.Messages();
    if (msgs.size() != 2 || msgs[0].text != "Ошибка записи файла!" ||
        msgs[1].buttons != platform::MsgButtons::YesNo)
      faults |= 8;
    if (ReadFile(path) != bytes) faults |= 16;
    return faults;
  });
  if (result == kCannotSwitchUser) GTEST_SKIP() << "no unprivileged user can be switched to here";
  EXPECT_EQ(result, 0) << "1: not opened writable, 2: the write not taken, 4: the drive locked, "
                          "8: not told, 16: the file replaced";
}
