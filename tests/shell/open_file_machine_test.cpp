// Opening a disk image on a real (headless) machine:
// drive A, write-protected, the machine reset into TR-DOS and stepped once
// without starting.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "disk/formats.h"
#include "disk/vg93.h"
#include "machine/hardware.h"
#include "open_file_fakes.h"
#include "platform/files.h"

namespace {

namespace fs = std::filesystem;

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

TEST_F(OpenOnMachineTest, DiskGoesToDriveAWriteProtectedWithATrdosReset) {
  disk::T1818VG93& controller = machine->FloppyController;
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

}  // namespace
