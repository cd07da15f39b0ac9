// Opening by extension and the File menu's open commands, against a machine
// that records what was asked of it and file dialogs that answer from a
// script.
#include <gtest/gtest.h>

#include "open_file_fakes.h"

namespace {

using open_file_test::QueryDialogs;
using open_file_test::RecordingMachine;
using open_file_test::ScriptedFileDialogs;
using Log = std::vector<std::string>;

class OpenFileTest : public ::testing::Test {
 protected:
  void SetUp() override { previous_ = platform::SetDialogs(&dialogs); }
  void TearDown() override { platform::SetDialogs(previous_); }
  QueryDialogs dialogs;
  RecordingMachine machine;

 private:
  platform::Dialogs* previous_ = nullptr;
};

TEST(FileNames, ExtensionOfTheLastPathComponent) {
  const std::vector<std::pair<const char*, const char*>> cases = {
      {"game.tap", ".TAP"},         {"GAME.Tzx  ", ".TZX"},     {"/home/u/v1.2/game", ""},
      {"/home/u/v1.2/game.trd", ".TRD"}, {"a:b.$c", ".$C"},      {"dir\\x.scl", ".SCL"},
      {"game.", "."},               {"game", ""},               {"archive.tar.gz", ".GZ"},
      {".hidden", ".HIDDEN"},
  };
  for (const auto& [name, ext] : cases) EXPECT_EQ(UpperExtension(name), ext) << name;
  EXPECT_TRUE(IsHobetaExtension(".$C"));
  EXPECT_TRUE(IsHobetaExtension(".!B"));
  EXPECT_TRUE(IsHobetaExtension(".$"));
  EXPECT_FALSE(IsHobetaExtension(".C$"));
  EXPECT_FALSE(IsHobetaExtension("."));
}

TEST_F(OpenFileTest, DispatchByExtension) {
  struct Case {
    const char* name;
    Log log;
  };
  const std::vector<Case> cases = {
      {"game.tap", {"tape game.tap"}},
      {"GAME.TZX", {"tape GAME.TZX"}},
      {"game.Tap ", {"tape game.Tap "}},
      {"game.trd", {"protect 0 off", "insert 0 game.trd"}},
      {"d/x.SCL", {"protect 0 off", "insert 0 d/x.SCL"}},
      {"x.fdi", {"protect 0 off", "insert 0 x.fdi"}},
      {"x.Td0", {"protect 0 off", "insert 0 x.Td0"}},
      {"x.udi", {"protect 0 off", "insert 0 x.udi"}},
      {"x.fdd", {"protect 0 off", "insert 0 x.fdd"}},
      {"boot.$B", {"protect 0 off", "insert 0 boot.$B"}},
      {"boot.!c", {"protect 0 off", "insert 0 boot.!c"}},
      {"/home/u/v1.2/game.trd", {"protect 0 off", "insert 0 /home/u/v1.2/game.trd"}},
      {"game.z80", {"snapshot game.z80"}},
      {"game.SNA", {"snapshot game.SNA"}},
      // Unknown to every reader: the snapshot loader reports it.
      {"game.txt", {"snapshot game.txt"}},
      {"a:b.tap", {"tape a:b.tap"}},
  };
  for (const Case& c : cases) {
    machine.log.clear();
    EXPECT_TRUE(OpenFile(machine, c.name, false, false)) << c.name;
    EXPECT_EQ(machine.log, c.log) << c.name;
  }
  EXPECT_EQ(dialogs.Count(), 0u);
}

TEST_F(OpenFileTest, UnknownFormatIsRefusedWithoutStoppingTheProcessor) {
  for (const char* name : {"game", "/home/u/v1.2/game", "game.", "dir.d/"}) {
    dialogs.Clear();
    machine.log.clear();
    machine.running = true;
    EXPECT_FALSE(OpenFile(machine, name, true, true)) << name;
    EXPECT_TRUE(machine.log.empty()) << name;
    EXPECT_TRUE(machine.running);
    ASSERT_EQ(dialogs.Count(), 1u) << name;
    EXPECT_EQ(dialogs.Messages()[0].text, std::string("Unknown file format: ") + name);
    EXPECT_EQ(dialogs.Messages()[0].caption, "OVRIN");
  }
}

TEST_F(OpenFileTest, StopAndRestartOnlyWhenRunning_ResetOnlyWhenAsked) {
  struct Case {
    const char* name;
    bool running, protect, reset;
    Log log;
  };
  const std::vector<Case> cases = {
      {"a.trd", true, true, true, {"stop", "protect 0 on", "insert 0 a.trd", "reset", "start"}},
      {"a.trd", false, true, true, {"protect 0 on", "insert 0 a.trd", "reset"}},
      {"a.trd", true, true, false, {"stop", "protect 0 on", "insert 0 a.trd", "start"}},
      {"a.$C", false, false, true, {"protect 0 off", "insert 0 a.$C", "reset"}},
      // Only a disk gets the reset.
      {"a.tap", true, true, true, {"stop", "tape a.tap", "start"}},
      {"a.z80", false, true, true, {"snapshot a.z80"}},
      {"a.z80", true, false, true, {"stop", "snapshot a.z80", "start"}},
  };
  for (const Case& c : cases) {
    machine.log.clear();
    machine.running = c.running;
    OpenFile(machine, c.name, c.protect, c.reset);
    EXPECT_EQ(machine.log, c.log) << c.name << " running " << c.running;
    EXPECT_EQ(machine.running, c.running);
  }
}

TEST_F(OpenFileTest, SeveralFilesRule) {
  const std::string refusal = kSeveralFilesMessage;
  struct Case {
    std::vector<std::string> files;
    bool accepted;
  };
  const std::vector<Case> cases = {
      {{"a.$C", "b.$B", "c.$"}, true},
      {{"only.trd"}, true},
      {{"noextension"}, true},
      {{}, true},
      {{"a.$C", "b.!C"}, false},
      {{"a.$C", "b"}, false},
      {{"a.trd", "b.$C"}, false},
      {{"a.$C", "/d/v1.$x/b"}, false},
  };
  for (const Case& c : cases) {
    dialogs.Clear();
    EXPECT_EQ(AcceptSeveralFiles(c.files), c.accepted);
    EXPECT_EQ(dialogs.Texts(), c.accepted ? Log{} : Log{refusal});
  }
}

TEST(FileDialogs, DiskDialogDefaultExtensionFollowsItsFilter) {
  TFileDialog d = MakeOpenDiskDialog();
  EXPECT_EQ(d.DefaultExt, "trd");
  const std::vector<const char*> expected = {"trd", "trd", "scl", "fdi", "td0", "udi", "fdd", "scl", "scl"};
  ASSERT_EQ(d.Filters.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    d.FilterIndex = static_cast<int>(i) + 1;
    d.TypeChange(d);
    EXPECT_EQ(d.DefaultExt, expected[i]) << d.FilterIndex;
  }
  EXPECT_EQ(d.Filters[0].Text(), "TR-DOS disks (*.trd *.scl *.fdi *.td0 *.udi *.fdd *.$* *.!*)");
  EXPECT_EQ(d.Filters[1].Text(), "TRD files  (*.trd)");
  EXPECT_EQ(d.Filters.back().Text(), "All files (*)");
  EXPECT_EQ(MakeOpenAllDialog().Filters.size(), 15u);
  EXPECT_EQ(MakeLoadMemoryDialog().Filters[1].Text(), "SCR files (*.scr)");
  EXPECT_EQ(MakeSaveMemoryDialog().DefaultExt, "bin");
}

class FileCommandsTest : public OpenFileTest {
 protected:
  ScriptedFileDialogs files;
  TFileCommands commands{machine, files};
};

TEST_F(FileCommandsTest, OpenAllOpensEachFileInOrderWithTheReadOnlyBox) {
  machine.running = true;
  files.script = {ScriptedFileDialogs::Answer{{"a.$C", "b.$B"}, 0, false}};
  commands.SubMenuOpenAllClick();
  EXPECT_EQ(machine.log, (Log{"stop", "protect 0 off", "insert 0 a.$C", "start", "stop", "protect 0 off",
                              "insert 0 b.$B", "start"}));
  // The box is checked again on every showing.
  files.script = {ScriptedFileDialogs::Answer{{"g.trd"}}};
  machine.log.clear();
  commands.SubMenuOpenAllClick();
  EXPECT_TRUE(files.showings.back().readOnly);
  EXPECT_EQ(machine.log, (Log{"stop", "protect 0 on", "insert 0 g.trd", "start"}));
}

TEST_F(FileCommandsTest, AMixedChoiceKeepsTheDialogOpen) {
  files.script = {ScriptedFileDialogs::Answer{{"a.$C", "b.!C"}}, ScriptedFileDialogs::Answer{{"a.$C", "x"}},
                  ScriptedFileDialogs::Answer{{"game.z80"}}};
  commands.SubMenuOpenAllClick();
  EXPECT_EQ(files.refusals, 2);
  EXPECT_EQ(files.showings.size(), 1u);
  EXPECT_EQ(dialogs.Texts(), (Log{kSeveralFilesMessage, kSeveralFilesMessage}));
  EXPECT_EQ(machine.log, Log{"snapshot game.z80"});
}

TEST_F(FileCommandsTest, OpenDiskForDrive) {
  machine.running = true;
  files.script = {ScriptedFileDialogs::Answer{{"a.$C", "b.$B"}, 0, true}};
  commands.OpenDiskForDrive(5);  // drive B
  ASSERT_EQ(files.showings.size(), 1u);
  EXPECT_EQ(files.showings[0].title, "Open disk image B:");
  EXPECT_EQ(files.showings[0].fileName, "current1.trd");
  EXPECT_TRUE(files.showings[0].readOnly);  // the image's own flag
  // Write-protect before each insertion, the files in the dialog's order,
  // one stop around them all, no reset.
  EXPECT_EQ(machine.log, (Log{"stop", "protect 1 on", "insert 1 a.$C", "protect 1 on", "insert 1 b.$B", "start"}));

  machine.log.clear();
  files.script = {ScriptedFileDialogs::Answer{{"a.$C", "b.!C"}}, std::nullopt};
  commands.OpenDiskForDrive(2);
  EXPECT_EQ(files.refusals, 1);
  EXPECT_TRUE(machine.log.empty());
  EXPECT_EQ(files.showings.back().title, "Open disk image C:");
  EXPECT_FALSE(files.showings.back().readOnly);

  // Any extension goes to the drive here.
  files.script = {ScriptedFileDialogs::Answer{{"new"}, 3, false}};
  machine.running = false;
  commands.OpenDiskForDrive(0);
  EXPECT_EQ(machine.log, (Log{"protect 0 off", "insert 0 new"}));
  EXPECT_EQ(commands.OpenDiskDialog.DefaultExt, "scl");
}

TEST_F(FileCommandsTest, FullScreenIsLeftForTheDialogAndEnteredAgain) {
  bool full = true;
  Log screen;
  TFileCommands withScreen(machine, files,
                           TScreenModeHooks{[&] { return full; },
                                            [&] {
                                              screen.push_back("leave");
                                              full = false;
                                            },
                                            [&] {
                                              screen.push_back("enter");
                                              full = true;
                                            }});
  files.script = {std::nullopt};
  withScreen.OpenDiskForDrive(0);
  files.script = {ScriptedFileDialogs::Answer{{"s.z80"}}};
  withScreen.SubMenuSaveSnapshotClick();
  EXPECT_EQ(screen, (Log{"leave", "enter", "leave", "enter"}));
  EXPECT_EQ(machine.log, Log{"save s.z80 .z80"});
  full = false;
  files.script = {std::nullopt};
  withScreen.SubMenuOpenAllClick();
  EXPECT_EQ(screen.size(), 4u);
}

TEST_F(FileCommandsTest, CommandLineIsWriteProtectedWithReset) {
  commands.OpenCommandLine("");
  EXPECT_TRUE(machine.log.empty());
  commands.OpenCommandLine("my disk.trd");
  EXPECT_EQ(machine.log, (Log{"protect 0 on", "insert 0 my disk.trd", "reset"}));
}

TEST_F(FileCommandsTest, SaveDisksFlushesAllFourStopped) {
  machine.running = true;
  EXPECT_TRUE(commands.SubMenuSaveDisksClick());
  EXPECT_EQ(machine.log, (Log{"stop", "flush 0", "flush 1", "flush 2", "flush 3", "start"}));
}

// The way out writes all four drives with the processor stopped and leaves
// it stopped; a drive whose changes the user keeps ends the writing there
// and gives the running program back in full screen as it was.
TEST_F(FileCommandsTest, WriteBackBeforeExit) {
  for (const int kept : {-1, 1}) {
    SCOPED_TRACE(kept);
    machine.log.clear();
    machine.running = true;
    machine.keptDrive = kept;
    Log screen;
    TFileCommands withScreen(machine, files,
                             TScreenModeHooks{[] { return true; }, [&] { screen.push_back("leave"); },
                                              [&] { screen.push_back("enter"); }});
    EXPECT_EQ(withScreen.WriteBackBeforeExit(), kept < 0);
    if (kept < 0) {
      EXPECT_EQ(machine.log, (Log{"stop", "flush or discard 0", "flush or discard 1", "flush or discard 2",
                                  "flush or discard 3"}));
    } else {
      EXPECT_EQ(machine.log, (Log{"stop", "flush or discard 0", "flush or discard 1", "start"}));
    }
    EXPECT_EQ(screen, kept < 0 ? Log{"leave"} : (Log{"leave", "enter"}));
  }
}

}  // namespace
