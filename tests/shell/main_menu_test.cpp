// The menu's commands on a headless machine: marks that follow the switches,
// the run-control pattern, the screen timer's save-disks item, Change memory
// byte into the ROM in use, and a disk opened writable through Open disk A:
// that reaches its file with only the saved file's sectors changed.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <map>

#include "disk/formats.h"
#include "machine/hardware.h"
#include "machine/machine_test_util.h"
#include "open_file_fakes.h"
#include "platform/files.h"
#include "platform/settings.h"
#include "shell/main_menu.h"
#include "shell/settings.h"

namespace {

namespace fs = std::filesystem;
using open_file_test::QueryDialogs;
using open_file_test::ScriptedFileDialogs;

class FakeWindow : public IMenuWindow {
 public:
  bool fullScreen = false;
  std::vector<std::string> log;
  bool IsFullScreen() override { return fullScreen; }
  void EnterFullScreen() override { fullScreen = true; }
  void LeaveFullScreen() override { fullScreen = false; }
  void CloseWindow() override { log.push_back("close"); }
  void ShowForm(TFormId form) override { log.push_back("form " + std::to_string(static_cast<int>(form))); }
  bool SaveParams() override { return true; }
};

// Records the run-control calls in order.
class RecordingCpu : public IRunControl {
 public:
  bool running = false;
  std::string log;
  bool IsCpuRunning() override { return running; }
  void StopCpu() override { Add("stop"), running = false; }
  void StartCpu() override { Add("start"), running = true; }
  void StepCpu() override { Add("step"); }
  void Act(TMachineAction action) override { Add("act" + std::to_string(static_cast<int>(action))); }

 private:
  void Add(const std::string& s) { log += (log.empty() ? "" : " ") + s; }
};

class MenuTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TAYHardware::SetPluginPathForTesting("/nonexistent/libkelvora.so");
    previous_ = platform::SetDialogs(&dialogs);
    char tmpl[] = "/tmp/ovrin-menu-XXXXXX";
    dir = mkdtemp(tmpl);
    Build();
  }
  void TearDown() override {
    Destroy();
    platform::SetDialogs(previous_);
    fs::remove_all(dir);
  }
  // A machine with its settings read from `store` as at start-up.
  void Build() {
    machine = std::make_unique<TZXHardware>();
    ReadKeySettings(store, *machine, switches);
    files = std::make_unique<TMachineFiles>(*machine);
    fileCommands = std::make_unique<TFileCommands>(*files, fileDialogs);
    cpu = std::make_unique<TMachineRunControl>(*machine);
    commands = std::make_unique<TMenuCommands>(*machine, *cpu, *fileCommands, switches, window);
    commands->SetStartUpStates();
  }
  void Destroy() {
    commands.reset();
    cpu.reset();
    fileCommands.reset();
    files.reset();
    machine.reset();
  }
  // Ticks until the item is enabled; the count of ticks, or -1 after 16.
  int TicksUntilEnabled(const char* name) {
    for (int n = 1; n <= 16; ++n) {
      commands->TimerUpdateSCRTimer();
      if (commands->IsEnabled(name)) return n;
    }
    return -1;
  }

  platform::MemorySettings store;
  QueryDialogs dialogs;
  ScriptedFileDialogs fileDialogs;
  FakeWindow window;
  TShellSwitches switches;
  std::string dir;
  std::unique_ptr<TZXHardware> machine;
  std::unique_ptr<TMachineFiles> files;
  std::unique_ptr<TFileCommands> fileCommands;
  std::unique_ptr<TMachineRunControl> cpu;
  std::unique_ptr<TMenuCommands> commands;

 private:
  platform::Dialogs* previous_ = nullptr;
};

// Every switch's mark shows its field after start-up (the settings'
// defaults, no sound plug-in) and after each switch, both ways.
TEST_F(MenuTest, MarksFollowTheSwitches) {
  const std::map<std::string, bool> startUp = {
      {"SubMenuSCLAddBOOT", true},          {"SubMenuDisplayFPS", false},
      {"SubMenuDisplayDisk", true},         {"SubMenuVideoSync", false},
      {"SubMenuLimit50Hz", true},           {"SubMenuBeeperEmulation", false},
      {"SubMenuAY8910Emulation", false},    {"SubMenuAY8910RegEmulation", true},
      {"SubMenuYMRegType", true},           {"SubMenuTapeEmulation", true},
      {"SubMenuTapeTraps", false},          {"SubMenuBetaDiskEmulation", true},
      {"SubMenuKempstonMouseEmulation", true}, {"SubMenuAYMouseEmulation", true},
      {"SubMenuSwapMButtons", false},       {"SubMenuEnableCMOS", true},
      {"SubMenuFullScreenStart", false}};
  size_t marks = 0;
  for (const TMenuItem& item : MainMenuItems()) {
    if (item.Mark == TMark::None) continue;
    ++marks;
    SCOPED_TRACE(item.Name);
    ASSERT_TRUE(startUp.count(item.Name));
    EXPECT_EQ(commands->IsChecked(item.Name), startUp.at(item.Name));
    ASSERT_TRUE(item.Mirror.Get);
    EXPECT_EQ(item.Mirror.Get(*commands), startUp.at(item.Name));
    if (!item.Mirror.Set) continue;  // the sound plug-in's, below
    for (bool expected : {!startUp.at(item.Name), startUp.at(item.Name)}) {
      commands->Execute(item.Name);
      EXPECT_EQ(item.Mirror.Get(*commands), expected);
      EXPECT_EQ(commands->IsChecked(item.Name), expected);
    }
  }
  EXPECT_EQ(marks, startUp.size());
  // A few fields read directly, so a mirror wired to the wrong field shows.
  commands->Execute("SubMenuTapeTraps");
  EXPECT_EQ(machine->TapeTrapsEnabled, 1);
  commands->Execute("SubMenuSCLAddBOOT");
  EXPECT_FALSE(machine->FloppyController.SclAddBoot);
  commands->Execute("SubMenuFullScreenStart");
  EXPECT_TRUE(switches.FullScreenStart);

  // Without the plug-in: Speaker stays off silently, Sound AY says why.
  EXPECT_FALSE(commands->IsEnabled("SubMenuBeeperEmulation"));
  EXPECT_FALSE(commands->IsEnabled("SubMenuAY8910Settings"));
  dialogs.Clear();
  commands->SubMenuBeeperEmulationClick();
  commands->SyncMarks();
  EXPECT_FALSE(commands->IsChecked("SubMenuBeeperEmulation"));
  EXPECT_EQ(dialogs.Count(), 0u);
  commands->SubMenuAY8910EmulationClick();
  commands->SyncMarks();
  EXPECT_FALSE(commands->IsChecked("SubMenuAY8910Emulation"));
  EXPECT_EQ(dialogs.Texts(), std::vector<std::string>{"KELVORA.DLL initialization failed!"});

  // Settings stored off come back off, marks included.
  Destroy();
  store.WriteBool("", "EnableCMOS", false);
  store.WriteBool("", "TapeTrapping", true);
  Build();
  EXPECT_FALSE(commands->IsChecked("SubMenuEnableCMOS"));
  EXPECT_TRUE(commands->IsChecked("SubMenuTapeTraps"));
}

// Stop, act, one step where the command takes one, start again only when it
// was running; Start and Stop enable each other.
TEST_F(MenuTest, RunControlPattern) {
  RecordingCpu fake;
  TMenuCommands menu(*machine, fake, *fileCommands, switches, window);
  struct Case {
    const char* item;
    bool running;
    const char* log;
  } cases[] = {
      {"SubMenuReset48", true, "stop act0 step start"},   {"SubMenuReset48", false, "act0 step"},
      {"SubMenuReset128", true, "stop act1 step start"},  {"SubMenuResetTRDOS", false, "act2 step"},
      {"SubMenuResetEXTROM", true, "stop act3 step start"}, {"SubMenuMagic", true, "stop act4 start"},
      {"SubMenuMagic", false, "act4"},                     {"SubMenuScorpionMagic", false, "act5"},
      {"SubMenuINT", true, "stop act6 step start"},        {"SubMenuNMI", false, "act7 step"},
      {"SubMenuStop", true, "stop"},                       {"SubMenuRun", false, "start"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.item) + (c.running ? " running" : " stopped"));
    fake.running = c.running;
    fake.log.clear();
    menu.Enabled[static_cast<size_t>(MenuItemIndex(c.item))] = true;
    const auto states = menu.Enabled;
    menu.Execute(c.item);
    EXPECT_EQ(fake.log, c.log);
    if (std::string_view(c.item) == "SubMenuRun" || std::string_view(c.item) == "SubMenuStop") {
      EXPECT_EQ(menu.IsEnabled("SubMenuRun"), !fake.running);
      EXPECT_EQ(menu.IsEnabled("SubMenuStop"), fake.running);
    } else {
      EXPECT_EQ(fake.running, c.running);
      EXPECT_EQ(menu.Enabled, states);  // Start and Stop wait for the timer
    }
  }
}

// On the machine: Reset 48K while stopped takes the reset in one step and
// stays stopped; while running it runs again. Magic takes no step.
TEST_F(MenuTest, ResetAndMagicOnTheMachine) {
  machine->Cpu().PC = 0x8000;
  machine->Cpu().Req.IFF1 = 1;
  commands->Execute("SubMenuReset48");
  EXPECT_FALSE(machine->IsCpuRunning());
  // The step took the reset.
  EXPECT_EQ(machine->Cpu().PC, 0);
  EXPECT_EQ(machine->Cpu().Req.IFF1, 0);
  EXPECT_EQ(machine->Cpu().Req.ResetPending, 0);
  EXPECT_EQ(machine->RomWindow(), machine->Rom48Slot);

  machine->Cpu().PC = 0x8000;
  commands->Execute("SubMenuMagic");
  EXPECT_EQ(machine->Cpu().PC, 0x8000);
  EXPECT_EQ(machine->Cpu().Req.NmiPending, Z80_FLAG_SET);  // taken at the next step
  EXPECT_FALSE(machine->IsCpuRunning());

  ASSERT_EQ(machine->StartCpu(), Z80_OK);
  commands->Execute("SubMenuReset48");
  EXPECT_TRUE(machine->IsCpuRunning());
  machine->StopCpu();
}

// The save-disks item follows a modified disk within five ticks whatever the
// tick counter stands at, and goes off after use; a stopped picture flashes.
TEST_F(MenuTest, ScreenTimer) {
  const std::string path = dir + "/a.trd";
  ASSERT_TRUE(platform::WriteFileAtomic(path, *disk::SaveTrd(disk::FormatTrdos(80, 2))));
  machine->FloppyController.DriveWriteProtect[0] = false;
  ASSERT_TRUE(machine->FloppyController.InsertDisk(0, path));
  disk::TDiskImage& image = machine->FloppyController.Drive(0);
  EXPECT_FALSE(commands->IsEnabled("SubMenuSaveDisks"));
  for (uint32_t phase = 0; phase < 8; ++phase) {
    SCOPED_TRACE(phase);
    commands->TickCounter = phase;
    image.Modified = true;
    const int ticks = TicksUntilEnabled("SubMenuSaveDisks");
    EXPECT_GE(ticks, 1);
    EXPECT_LE(ticks, 5);
    commands->Execute("SubMenuSaveDisks");
    EXPECT_FALSE(commands->IsEnabled("SubMenuSaveDisks"));
    EXPECT_FALSE(image.Modified);
    EXPECT_EQ(TicksUntilEnabled("SubMenuSaveDisks"), -1);
  }

  // A flashing cell (ink on paper, no pixels set) swaps on every tick.
  machine_test::RecordingDisplay display;
  machine->SetDisplayOutput(&display);
  machine->ScreenPage[0x1800] = 0x80 | (1 << 3) | 6;
  std::vector<std::vector<uint8_t>> pictures;
  for (int tick = 0; tick < 3; ++tick) {
    commands->TimerUpdateSCRTimer();
    pictures.push_back(display.lastPicture);
  }
  EXPECT_NE(pictures[0], pictures[1]);
  EXPECT_EQ(pictures[0], pictures[2]);
  machine->SetDisplayOutput(nullptr);
  EXPECT_TRUE(commands->IsEnabled("SubMenuRun"));
  EXPECT_FALSE(commands->IsEnabled("SubMenuStop"));
}

// Change memory byte writes what the processor sees: into the 48 ROM image
// when it is paged in, with a running processor stopped around the write.
// Z80 Free BUS setting keeps a valid byte. Cancel changes nothing.
TEST_F(MenuTest, ChangeMemoryByteAndFreeBus) {
  machine->ResetTo48Rom();
  ASSERT_EQ(machine->RomWindow(), machine->Rom48Slot);
  ASSERT_EQ(machine->StartCpu(), Z80_OK);
  dialogs.entries = {"#1234", "#A5"};
  commands->Execute("SubMenuChangeMem");
  EXPECT_TRUE(machine->IsCpuRunning());
  machine->StopCpu();
  EXPECT_EQ(machine->Rom48Slot[0x1234], 0xA5);
  ASSERT_EQ(dialogs.queries.size(), 2u);
  EXPECT_EQ(dialogs.queries[0].shown, "#4000");
  EXPECT_EQ(dialogs.queries[1].caption, "Change memory byte");

  // The address is remembered; Cancel at the value writes nothing.
  dialogs.queries.clear();
  dialogs.entries = {open_file_test::kAsShown, std::nullopt};
  commands->Execute("SubMenuChangeMem");
  EXPECT_EQ(dialogs.queries[0].shown, "#1234");
  EXPECT_EQ(dialogs.queries[1].shown, "#A5");
  EXPECT_EQ(machine->Rom48Slot[0x1234], 0xA5);

  dialogs.queries.clear();
  dialogs.entries = {"256", "#7E"};
  commands->Execute("SubMenuChangeVectorBUS");
  EXPECT_EQ(dialogs.queries[0].shown, "#FF");
  EXPECT_EQ(machine->Cpu().Req.IntVector, 0x7E);
  EXPECT_EQ(dialogs.Texts().back(), "The number in the range 0 required...255 !");
}

// Writes one sector of cylinder 0 through the controller's ports.
void WriteSector(TZXHardware& m, int side, uint8_t r, const std::vector<uint8_t>& data) {
  m.GlobalTact += 1'000'000;
  m.TrdosActive = 1;
  m.Out(0x00FF, side ? 0x2C : 0x3C);
  m.Out(0x005F, r);
  m.Out(0x001F, 0xA0);
  for (uint8_t v : data) m.Out(0x007F, v);
  EXPECT_EQ(m.In(0x001F) & 0x7F, 0) << "sector " << int(r);
}

// A disk opened through Open disk A: with the read-only box cleared takes a
// file saved the way TR-DOS saves one (data sector, catalogue entry, system
// sector), and its file holds exactly that after the save-disks item or
// after the program ends.
TEST_F(MenuTest, DiskOpenedThroughOpenDiskAIsWritable) {
  const auto blank = *disk::SaveTrd(disk::FormatTrdos(80, 2));
  auto sector = [](const std::vector<uint8_t>& file, size_t track, int r) {
    return std::vector<uint8_t>(file.begin() + static_cast<long>((track * 16 + r - 1) * 256),
                                file.begin() + static_cast<long>((track * 16 + r) * 256));
  };
  std::vector<uint8_t> data(256);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i ^ 0x5A);
  std::vector<uint8_t> catalogue(256, 0);
  const std::string entry = "hello   C";
  std::copy(entry.begin(), entry.end(), catalogue.begin());
  catalogue[10] = 0x80, catalogue[12] = 1, catalogue[13] = 1, catalogue[14] = 0, catalogue[15] = 1;
  std::vector<uint8_t> system = sector(blank, 0, 9);
  system[0xE1] = 1, system[0xE2] = 1, system[0xE4] = 1;
  system[0xE5] = static_cast<uint8_t>(system[0xE5] - 1);
  std::vector<uint8_t> expected = blank;
  auto put = [&](size_t track, int r, const std::vector<uint8_t>& s) {
    std::copy(s.begin(), s.end(), expected.begin() + static_cast<long>((track * 16 + r - 1) * 256));
  };
  put(1, 1, data), put(0, 1, catalogue), put(0, 9, system);

  for (const bool viaExit : {false, true}) {
    SCOPED_TRACE(viaExit ? "written back at exit" : "save-disks item");
    const std::string path = dir + (viaExit ? "/exit.trd" : "/saved.trd");
    ASSERT_TRUE(platform::WriteFileAtomic(path, blank));
    fileDialogs.script = {ScriptedFileDialogs::Answer({path}, 0, false)};
    commands->Execute("SubMenuOpenDiskA");
    ASSERT_EQ(fileDialogs.showings.back().title, "Open disk image A:");
    ASSERT_FALSE(machine->FloppyController.Drive(0).WriteProtect);

    WriteSector(*machine, 1, 1, data);  // logical track 1: cylinder 0, side 1
    WriteSector(*machine, 0, 1, catalogue);
    WriteSector(*machine, 0, 9, system);
    EXPECT_EQ(platform::ReadWholeFile(path), blank);  // nothing written yet
    if (viaExit) {
      Destroy();
      Build();
    } else {
      ASSERT_GE(TicksUntilEnabled("SubMenuSaveDisks"), 1);
      commands->Execute("SubMenuSaveDisks");
    }
    const auto saved = platform::ReadWholeFile(path);
    ASSERT_TRUE(saved);
    EXPECT_TRUE(*saved == expected) << "the image holds more or less than the saved file";
  }
}

}  // namespace
