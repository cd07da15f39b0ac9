// Opening by extension on a real (headless) machine: a tape reaches the tape
// deck, a .Z80 the snapshot loader, and a disk image drive A of a disk
// controller, write-protected, with the machine reset into TR-DOS and
// stepped once without starting.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "disk/formats.h"
#include "disk/vg93.h"
#include "machine/hardware.h"
#include "machine/snapshot_loader.h"
#include "open_file_fakes.h"
#include "platform/files.h"

namespace {

namespace fs = std::filesystem;

// A .TAP file with one block: a CODE header.
std::vector<uint8_t> HeaderTap() {
  std::vector<uint8_t> block = {0x00, 0x03, 'o', 'v', 'r', 'i', 'n', ' ', ' ', ' ', ' ', ' ',
                                0x10, 0x00, 0x00, 0x80, 0x00, 0x80};
  uint8_t sum = 0;
  for (uint8_t b : block) sum ^= b;
  block.push_back(sum);
  std::vector<uint8_t> tap = {static_cast<uint8_t>(block.size()), 0};
  tap.insert(tap.end(), block.begin(), block.end());
  return tap;
}

class OpenOnMachineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TAYHardware::SetPluginPathForTesting("/nonexistent/libkelvora.so");
    machine = std::make_unique<TZXHardware>();
    files = std::make_unique<TMachineFiles>(*machine);
    char tmpl[] = "/tmp/ovrin-open-XXXXXX";
    dir = mkdtemp(tmpl);
    previous_ = platform::SetDialogs(&dialogs);
  }
  void TearDown() override {
    platform::SetDialogs(previous_);
    fs::remove_all(dir);
  }
  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string path = dir + "/" + name;
    EXPECT_TRUE(platform::WriteFileAtomic(path, bytes));
    return path;
  }

  std::unique_ptr<TZXHardware> machine;
  std::unique_ptr<TMachineFiles> files;
  open_file_test::QueryDialogs dialogs;
  std::string dir;

 private:
  platform::Dialogs* previous_ = nullptr;
};

TEST_F(OpenOnMachineTest, TapeGoesToTheDeck) {
  EXPECT_TRUE(OpenFile(*files, Write("game.TAP", HeaderTap()), true, true));
  EXPECT_EQ(files->TapeDeck().Player().BlockCount(), 1u);
  EXPECT_TRUE(files->TapeDeck().Player().Playing());
  EXPECT_EQ(dialogs.Count(), 0u);
  // A broken tape is the deck's to report; the tape in place plays on.
  EXPECT_FALSE(OpenFile(*files, Write("bad.tzx", {1, 2, 3}), false, false));
  EXPECT_EQ(dialogs.Count(), 1u);
  EXPECT_EQ(files->TapeDeck().Player().BlockCount(), 1u);
}

TEST_F(OpenOnMachineTest, SnapshotGoesToTheLoader) {
  TZXHardware source;
  source.Cpu().PC = 0x8000;
  source.Cpu().SP = 0xFF00;
  TZXHardware::MemoryWrite(0x8000, 0x18, &source);
  TZXHardware::MemoryWrite(0x8001, 0xFE, &source);
  TZXHardware::MemoryWrite(0x9000, 0xA5, &source);
  const std::string path = dir + "/snap.z80";
  ASSERT_TRUE(SaveZ80(source, path));

  EXPECT_TRUE(OpenFile(*files, path, true, true));
  EXPECT_EQ(machine->Cpu().PC, 0x8000);
  EXPECT_EQ(machine->Cpu().SP, 0xFF00);
  EXPECT_EQ(TZXHardware::MemoryRead(0x9000, machine.get()), 0xA5);
  EXPECT_FALSE(machine->IsCpuRunning());
  // An extension no reader knows is reported by the loader.
  EXPECT_FALSE(OpenFile(*files, Write("notes.txt", {1}), false, false));
  EXPECT_EQ(dialogs.Count(), 1u);
}

TEST_F(OpenOnMachineTest, DiskGoesToDriveAWriteProtectedWithATrdosReset) {
  uint64_t tact = 0;
  disk::T1818VG93 controller([&] { return tact; });
  files->SetDiskController(&controller);
  const std::string path = Write("game.trd", *disk::SaveTrd(disk::FormatTrdos(80, 2)));

  machine->ResetTo48Rom();
  const uint64_t before = machine->GlobalTact;
  EXPECT_TRUE(OpenFile(*files, path, true, true));
  EXPECT_TRUE(controller.Drive(0).Inserted);
  EXPECT_EQ(controller.GetDiskFileName(0), path);
  EXPECT_TRUE(controller.DriveWriteProtect[0]);
  EXPECT_TRUE(controller.Drive(0).WriteProtect);
  EXPECT_TRUE(machine->TrdosActive);
  EXPECT_GT(machine->GlobalTact, before);  // one step taken
  EXPECT_FALSE(machine->IsCpuRunning());

  // Without a reset the machine stays as it is; the box's state decides the
  // protection.
  machine->ResetTo48Rom();
  EXPECT_TRUE(OpenFile(*files, path, false, false));
  EXPECT_FALSE(machine->TrdosActive);
  EXPECT_FALSE(controller.Drive(0).WriteProtect);
  EXPECT_EQ(dialogs.Count(), 0u);

  // Nothing modified, nothing written; the flush reports success.
  EXPECT_TRUE(FlushAllDrives(*files));
  EXPECT_TRUE(FlushAllDrives(controller));
}

TEST_F(OpenOnMachineTest, DiskDriveCommandCreatesAMissingImageAfterAsking) {
  uint64_t tact = 0;
  disk::T1818VG93 controller([&] { return tact; });
  files->SetDiskController(&controller);
  open_file_test::ScriptedFileDialogs fileDialogs;
  TFileCommands commands(*files, fileDialogs);
  fileDialogs.script = {open_file_test::ScriptedFileDialogs::Answer{{dir + "/new.trd"}, 2, false}};
  dialogs.Script({platform::MsgResult::Yes});
  commands.OpenDiskForDrive(3);
  EXPECT_EQ(dialogs.Count(), 1u);  // the create question
  EXPECT_TRUE(controller.Drive(3).Inserted);
  EXPECT_TRUE(fs::exists(dir + "/new.trd"));
  // The next showing proposes the drive's image and its protection.
  fileDialogs.script = {std::nullopt};
  commands.OpenDiskForDrive(3);
  EXPECT_EQ(fileDialogs.showings.back().fileName, dir + "/new.trd");
  EXPECT_FALSE(fileDialogs.showings.back().readOnly);
}

}  // namespace
