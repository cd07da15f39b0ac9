// Memory blocks on a real machine (headless): loading cut at the top of
// memory and placed below #4000 where the processor looks, the Load and Save
// memory commands with their questions, and saving that keeps the old file
// when writing fails.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "machine/hardware.h"
#include "open_file_fakes.h"
#include "platform/files.h"
#include "shell/memory_files.h"

namespace {

namespace fs = std::filesystem;
using open_file_test::kAsShown;
using open_file_test::QueryDialogs;
using open_file_test::ScriptedFileDialogs;
using Bytes = std::vector<uint8_t>;

Bytes Pattern(size_t n, unsigned seed) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(i * 7 + seed + (i >> 8));
  return b;
}

class MemoryFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TAYHardware::SetPluginPathForTesting("/nonexistent/libkelvora.so");
    machine = std::make_unique<TZXHardware>();
    files = std::make_unique<TMachineFiles>(*machine);
    commands = std::make_unique<TFileCommands>(*files, fileDialogs);
    char tmpl[] = "/tmp/ovrin-memory-XXXXXX";
    dir = mkdtemp(tmpl);
    previous_ = platform::SetDialogs(&dialogs);
  }
  void TearDown() override {
    platform::SetDialogs(previous_);
    fs::remove_all(dir);
  }

  std::string Write(const std::string& name, const Bytes& bytes) {
    const std::string path = dir + "/" + name;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
    return path;
  }
  Bytes Read(const std::string& path) {
    auto data = platform::ReadWholeFile(path);
    return data ? *data : Bytes{};
  }
  Bytes Memory(uint32_t start, uint32_t count) {
    Bytes b;
    for (uint32_t i = 0; i < count; ++i) b.push_back(TZXHardware::MemoryRead(start + i, machine.get()));
    return b;
  }
  void FillRam() {
    const Bytes ram = Pattern(49152, 11);
    for (uint32_t i = 0; i < ram.size(); ++i) TZXHardware::MemoryWrite(0x4000 + i, ram[i], machine.get());
  }

  std::unique_ptr<TZXHardware> machine;
  std::unique_ptr<TMachineFiles> files;
  ScriptedFileDialogs fileDialogs;
  std::unique_ptr<TFileCommands> commands;
  QueryDialogs dialogs;
  std::string dir;

 private:
  platform::Dialogs* previous_ = nullptr;
};

TEST_F(MemoryFilesTest, LoadIsCutAtTheTopOfMemory) {
  const Bytes data = Pattern(49152, 1);
  const Bytes before = Memory(0x4000, 0x4000);
  EXPECT_EQ(LoadMemoryBlock(*files, Write("big.bin", data), 0x8000), 32768u);
  EXPECT_EQ(Memory(0x8000, 32768), Bytes(data.begin(), data.begin() + 32768));
  EXPECT_EQ(Memory(0x4000, 0x4000), before);
  // A short file stores what it has and nothing more.
  EXPECT_EQ(LoadMemoryBlock(*files, Write("three.bin", {1, 2, 3}), 0xFFFF), 1u);
  EXPECT_EQ(Memory(0xFFFF, 1), Bytes{1});
  EXPECT_EQ(LoadMemoryBlock(*files, Write("empty.bin", {}), 0x9000), 0u);
  EXPECT_EQ(Memory(0x9000, 1), Bytes{data[0x1000]});
  EXPECT_EQ(dialogs.Count(), 0u);
}

TEST_F(MemoryFilesTest, BelowRamTheImageInUseIsPatched) {
  struct Case {
    const char* name;
    std::function<void(TZXHardware&)> setup;
    std::function<uint8_t*(TZXHardware&)> target;
  };
  const std::vector<Case> cases = {
      {"ROM window", [](TZXHardware& m) { m.ResetTo48Rom(); }, [](TZXHardware& m) { return m.Rom48Slot; }},
      {"TR-DOS", [](TZXHardware& m) { m.ResetToTrdos(); }, [](TZXHardware& m) { return m.TrdosRomSlot; }},
      {"EXTROM before TR-DOS",
       [](TZXHardware& m) {
         m.ResetToTrdos();
         m.ExtRomActive = 1;
       },
       [](TZXHardware& m) { return m.ExtRomSlot; }},
      {"RAM at zero",
       [](TZXHardware& m) {
         m.SetMemoryModel(kScorpion256);
         m.WritePort1FFD(1);
       },
       [](TZXHardware& m) { return m.RamPages[0]; }},
  };
  const Bytes data = Pattern(0x4010, 5);
  const std::string path = Write("rom.bin", data);
  for (const Case& c : cases) {
    files.reset();
    machine = std::make_unique<TZXHardware>();
    files = std::make_unique<TMachineFiles>(*machine);
    c.setup(*machine);
    ASSERT_EQ(LoadMemoryBlock(*files, path, 0), 0x4010u) << c.name;
    const uint8_t* target = c.target(*machine);
    EXPECT_EQ(Bytes(target, target + 0x4000), Bytes(data.begin(), data.begin() + 0x4000)) << c.name;
    EXPECT_EQ(Memory(0x4000, 0x10), Bytes(data.begin() + 0x4000, data.end())) << c.name;
  }
}

TEST_F(MemoryFilesTest, AFileThatCannotBeOpenedChangesNothing) {
  FillRam();
  const Bytes before = Memory(0x4000, 0xC000);
  for (const std::string& path : {dir + "/missing.bin", dir}) {
    dialogs.Clear();
    EXPECT_FALSE(LoadMemoryBlock(*files, path, 0x4000).has_value());
    EXPECT_EQ(dialogs.Texts(), std::vector<std::string>{"Cannot open file \"" + path + "\""});
  }
  EXPECT_EQ(Memory(0x4000, 0xC000), before);
}

TEST_F(MemoryFilesTest, AfterAScreenLoadSaveProposesTheScreen) {
  const Bytes screen = Pattern(6912, 9);
  fileDialogs.script = {ScriptedFileDialogs::Answer{{Write("pic.scr", screen)}, 2}};
  dialogs.entries = {kAsShown};
  commands->SubMenuLoadBINClick();
  ASSERT_EQ(dialogs.queries.size(), 1u);
  EXPECT_EQ(dialogs.queries[0].caption, "The initial address of loading");
  EXPECT_EQ(dialogs.queries[0].prompt, "Enter initial address:");
  EXPECT_EQ(dialogs.queries[0].shown, "#4000");
  EXPECT_EQ(Memory(0x4000, 6912), screen);

  commands->SaveStart = 0x8000;
  commands->SaveLength = 5;
  const std::string out = dir + "/out.bin";
  fileDialogs.script = {ScriptedFileDialogs::Answer{{out}}};
  dialogs.entries = {kAsShown, kAsShown};
  commands->SubMenuSaveBINClick();
  ASSERT_EQ(dialogs.queries.size(), 3u);
  EXPECT_EQ(dialogs.queries[1].caption, "The initial address of memory");
  EXPECT_EQ(dialogs.queries[1].shown, "#4000");
  EXPECT_EQ(dialogs.queries[2].caption, "Memory block length");
  EXPECT_EQ(dialogs.queries[2].prompt, "Enter block length (in bytes):");
  EXPECT_EQ(dialogs.queries[2].shown, "#1B00");
  EXPECT_EQ(Read(out), screen);
}

TEST_F(MemoryFilesTest, SaveLengthIsBoundedByTheTopOfMemory) {
  FillRam();
  const std::string out = dir + "/top.bin";
  fileDialogs.script = {ScriptedFileDialogs::Answer{{out}}};
  dialogs.entries = {"#FFFF", "2", "1"};
  commands->SubMenuSaveBINClick();
  EXPECT_EQ(dialogs.Texts(), std::vector<std::string>{"The number in the range 1 required...1 !"});
  EXPECT_EQ(Read(out), Memory(0xFFFF, 1));

  const std::string whole = dir + "/whole.bin";
  fileDialogs.script = {ScriptedFileDialogs::Answer{{whole}}};
  dialogs.entries = {"0", "#10000"};
  commands->SubMenuSaveBINClick();
  EXPECT_EQ(Read(whole), Memory(0, 65536));
}

TEST_F(MemoryFilesTest, OverwriteIsAskedAndCancelLeavesTheFile) {
  FillRam();
  const std::string path = Write("keep.bin", {'o', 'l', 'd'});
  fileDialogs.script = {ScriptedFileDialogs::Answer{{path}}};
  dialogs.Script({platform::MsgResult::Cancel});
  commands->SubMenuSaveBINClick();
  ASSERT_EQ(dialogs.Count(), 1u);
  const auto m = dialogs.Messages()[0];
  EXPECT_EQ(m.caption, "Warning");
  EXPECT_EQ(m.text, "File exists!   Overwrite?");
  EXPECT_EQ(m.buttons, platform::MsgButtons::OkCancel);
  EXPECT_EQ(m.default_button, platform::MsgResult::Cancel);
  EXPECT_TRUE(dialogs.queries.empty());
  EXPECT_EQ(Read(path), (Bytes{'o', 'l', 'd'}));

  // OK, then Cancel at the length: still untouched.
  fileDialogs.script = {ScriptedFileDialogs::Answer{{path}}};
  dialogs.entries = {kAsShown, std::nullopt};
  commands->SubMenuSaveBINClick();
  EXPECT_EQ(Read(path), (Bytes{'o', 'l', 'd'}));

  fileDialogs.script = {ScriptedFileDialogs::Answer{{path}}};
  dialogs.entries = {"#8000", "3"};
  commands->SubMenuSaveBINClick();
  EXPECT_EQ(Read(path), Memory(0x8000, 3));
}

TEST_F(MemoryFilesTest, AFailedWriteKeepsTheOldFileAndSaysSo) {
  const std::string path = Write("old.bin", {1, 2, 3});
  auto previous = platform::SetFileWriterForTesting([](const std::string&, const void*, size_t) { return false; });
  EXPECT_FALSE(SaveMemoryBlock(*files, path, 0x4000, 16));
  EXPECT_FALSE(SaveMemoryBlock(*files, dir + "/new.bin", 0x4000, 16));
  platform::SetFileWriterForTesting(previous);
  EXPECT_EQ(Read(path), (Bytes{1, 2, 3}));
  EXPECT_FALSE(fs::exists(dir + "/new.bin"));
  EXPECT_EQ(dialogs.Texts(),
            (std::vector<std::string>{"Cannot create file \"" + path + "\"\nThe existing file is unchanged.",
                                      "Cannot create file \"" + dir + "/new.bin\""}));
  // A directory that does not exist fails for real.
  EXPECT_FALSE(SaveMemoryBlock(*files, dir + "/no/such.bin", 0x4000, 16));
}

}  // namespace
