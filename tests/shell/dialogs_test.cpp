// The dialogs' logic without widgets: the timing rules and presets, ROM page
// stepping and browsing, model changes and ROM reloads on a running machine,
// the palette's brightness and presets on a running picture, the file
// associations in a private XDG home, and the about box's clock text.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include "platform/files.h"
#include "shell/about_text.h"
#include "shell/file_associations.h"
#include "shell/machine_devices.h"
#include "shell/memory_set_dialog.h"
#include "shell/palette_dialog.h"
#include "shell/timing_dialog.h"
#include "machine/machine_test_util.h"
#include "support/recording_dialogs.h"

namespace {

namespace fs = std::filesystem;
using Dialogs = testing_support::ScopedDialogs<decltype(&platform::SetDialogs)>;

using machine_test::MakeMachine;

std::string Slurp(const fs::path& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A fresh directory, removed with everything in it.
struct TempDir {
  TempDir() {
    char tmpl[] = "/tmp/ovrin-dialogs-XXXXXX";
    path = mkdtemp(tmpl);
  }
  ~TempDir() { fs::remove_all(path); }
  std::string path;
};

// A file of `size` bytes in which every byte holds base + its 16 KB page number.
void WritePagedFile(const std::string& path, size_t size, int base = 0) {
  std::vector<char> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = char(base + int(i / TZXHardware::kPageSize));
  std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(size));
}

// ---- timing ---------------------------------------------------------------

TEST(TimingDialog, ApplyChecksInOrderAndStoresOnlyValidSets) {
  struct Case {
    std::array<const char*, 7> cells;  // F, B, E, L, N, P, C
    const char* message;               // "" when the set is stored
  };
  const Case cases[] = {
      {{"71680", "0", "31", "224", "24", "68", "0"}, "Error: Lines before PAPER < 25!"},
      {{"71680", "0", "31", "224", "25", "68", "0"}, ""},
      {{"317919", "0", "31", "224", "80", "68", "0"}, ""},  // F - N*L = 299999
      {{"317920", "0", "31", "224", "80", "68", "0"}, "Error: max frame period >= 300 000!"},
      {{"66304", "0", "31", "224", "80", "68", "0"}, ""},  // F = L*(N+216)
      {{"66303", "0", "31", "224", "80", "68", "0"}, "Frame period < 241!"},
      {{"71680", "0", "71680", "224", "80", "68", "0"}, "INT out of frame range!"},
      {{"71680", "71680", "31", "224", "80", "68", "0"}, "INT out of frame range!"},
      // Several failing: only the first in the rules' order is shown.
      {{"-1", "0", "31", "224", "24", "-5", "4"}, "Param Cycle FIX wrong!"},
      {{"-1", "0", "31", "224", "24", "68", "0"}, "Error: param < 0!"},
      {{"317920", "0", "31", "224", "24", "68", "0"}, "Error: max frame period >= 300 000!"},
      // The unsigned reading of -4 that the grid itself shows is taken back.
      {{"71680", "0", "31", "224", "80", "4294967292", "4"}, ""},
      {{"71680", "0", "31", "224", "80", "4294967296", "4"}, "'4294967296' is not a valid integer value"},
      {{"71680", "0", "31", "", "80", "68", "0"}, "'' is not a valid integer value"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.cells[0]) + " " + c.cells[4] + " " + c.cells[5]);
    Dialogs d(&platform::SetDialogs);
    auto m = MakeMachine();
    const TTimingValues before = m->Timing;
    TTimingDialog dialog;
    dialog.Open(m->Timing);
    for (int r = 0; r < 7; ++r) dialog.SetCell(r, c.cells[size_t(r)]);
    const bool stored = dialog.Apply(*m);
    EXPECT_EQ(stored, *c.message == 0);
    EXPECT_EQ(dialog.ApplyEnabled(), !stored);
    if (stored) {
      EXPECT_EQ(d.dialogs.Count(), 0u);
      EXPECT_EQ(m->Timing, *dialog.Values(nullptr));
      TTimingDialog reopened;
      reopened.Open(m->Timing);
      for (int r = 0; r < 7; ++r) EXPECT_EQ(reopened.Cell(r), c.cells[size_t(r)]);
    } else {
      ASSERT_EQ(d.dialogs.Count(), 1u);
      EXPECT_EQ(d.dialogs.Messages()[0].text, c.message);
      EXPECT_EQ(m->Timing, before);
    }
  }
}

TEST(TimingDialog, PresetsAreRecognisedFromTheCellsAndTheAlignBox) {
  TTimingDialog dialog;
  dialog.Open(TimingFromPreset(0, 7));
  EXPECT_EQ(dialog.PresetIndex(), 1);  // the cycle fix plays no part
  EXPECT_FALSE(dialog.ApplyEnabled());

  dialog.SetAlignM1(true);  // Pentagon's values but Align M1 on
  EXPECT_EQ(dialog.PresetIndex(), 0);
  EXPECT_TRUE(dialog.ApplyEnabled());

  dialog.ChoosePreset(2);
  const char* scorpion[] = {"69888", "0", "31", "224", "64", "0", "7"};
  for (int r = 0; r < 7; ++r) EXPECT_EQ(dialog.Cell(r), scorpion[r]);
  EXPECT_TRUE(dialog.AlignM1());
  EXPECT_EQ(dialog.PresetIndex(), 2);
  dialog.SetAlignM1(false);  // Scorpion's values without Align M1 are no preset
  EXPECT_EQ(dialog.PresetIndex(), 0);
  dialog.SetCell(5, "200");
  EXPECT_EQ(dialog.PresetIndex(), 3);
  for (const char* text : {"", "-", "x200"}) {
    dialog.SetCell(5, text);
    EXPECT_EQ(dialog.PresetIndex(), 0) << text;
  }

  // A later preset with the same values wins.
  const TTimingPresetRecord twins[] = {{"a", 1, 2, 3, 4, 5, 6, 0}, {"b", 9, 9, 9, 9, 9, 9, 0},
                                       {"c", 1, 2, 3, 4, 5, 6, 0}};
  EXPECT_EQ(MatchTimingValues({1, 2, 3, 4, 5, 6}, false, twins), 3);
  EXPECT_EQ(MatchTimingValues({1, 2, 3, 4, 5, 6}, true, twins), 0);
}

// ---- memory and ROM set -----------------------------------------------------

class MemorySetDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetProgramDirectoryForTesting(dir.path);
    WritePagedFile(dir.path + "/pentagon.rom", 65536);
    WritePagedFile(dir.path + "/x.rom", 32768, 0x10);
    WritePagedFile(dir.path + "/short.rom", 16000);
    machine = MakeMachine();
  }
  void TearDown() override { platform::SetProgramDirectoryForTesting(""); }

  TempDir dir;
  std::unique_ptr<TZXHardware> machine;
};

TEST_F(MemorySetDialogTest, PageSteppingFollowsTheFile) {
  struct Case {
    const char* spec;
    int delta;
    const char* result;
    bool apply;
  };
  const Case cases[] = {
      {"pentagon.rom", +1, "pentagon.rom,1", true},
      {"pentagon.rom,3", +1, "pentagon.rom,3", false},
      {"pentagon.rom,3", -1, "pentagon.rom,2", true},
      {"x.rom", -1, "x.rom,0", false},
      {"x.rom,0", +1, "x.rom,1", true},
      {"x.rom,junk", +1, "x.rom,1", true},
      {"missing.rom,2", +1, "", true},
      {"", +1, "", true},
      {"short.rom", +1, "short.rom,0", false},
      {"short.rom,0", -1, "short.rom,0", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.spec) + (c.delta > 0 ? " +" : " --"));
    machine->RomFileSpecs[2] = c.spec;
    TMemorySetDialog dialog;
    dialog.Open(*machine);
    dialog.ChooseSlot(2);
    dialog.AdjustRomPage(c.delta);
    EXPECT_EQ(dialog.Spec(), c.result);
    EXPECT_EQ(dialog.ApplyEnabled(), c.apply);
    EXPECT_EQ(machine->RomFileSpecs[2], c.spec);  // only the working copy changed
  }

  // A ROM set, then a step: back to "<Custom>".
  TMemorySetDialog dialog;
  dialog.Open(*machine);
  dialog.ChooseRomSet(1);
  dialog.ChooseSlot(3);
  EXPECT_EQ(dialog.Spec(), "pentagon.rom,3");
  EXPECT_EQ(dialog.RomSet(), 1);
  dialog.AdjustRomPage(-1);
  EXPECT_EQ(dialog.Spec(), "pentagon.rom,2");
  EXPECT_EQ(dialog.RomSet(), 0);
}

TEST_F(MemorySetDialogTest, BrowseKeepsThePageTheNewFileHas) {
  struct Case {
    const char* file;
    const char* result;  // "" when nothing changes
    bool refused;        // with a message
  };
  const Case cases[] = {
      {"pentagon.rom", "pentagon.rom,2", false},
      {"x.rom", "x.rom,0", false},
      {"short.rom", "short.rom,0", false},
      {"missing.rom", "", false},
      {"a,b.rom", "", true},
  };
  WritePagedFile(dir.path + "/a,b.rom", 65536);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    Dialogs d(&platform::SetDialogs);
    machine->RomFileSpecs[0] = "b.rom,2";
    TMemorySetDialog dialog;
    dialog.Open(*machine);
    EXPECT_EQ(dialog.BrowseStartName(), "b.rom");
    const std::string path = dir.path + "/" + c.file;
    const bool changed = dialog.Browse(path);
    EXPECT_EQ(changed, *c.result != 0);
    EXPECT_EQ(dialog.ApplyEnabled(), changed);
    EXPECT_EQ(dialog.Spec(), *c.result ? dir.path + "/" + c.result : "b.rom,2");
    EXPECT_EQ(d.dialogs.Count(), c.refused ? 1u : 0u);
    if (c.refused) {
      EXPECT_EQ(d.dialogs.Messages()[0].text, kRomCommaMessage + path);
    }
  }
}

TEST_F(MemorySetDialogTest, ApplyAndReloadActOnTheRunningMachine) {
  Dialogs d(&platform::SetDialogs);
  machine->RomFileSpecs = {"pentagon.rom,0", "pentagon.rom,1", "pentagon.rom,2", "pentagon.rom,3"};
  machine->LoadRoms();
  ASSERT_EQ(machine->StartCpu(), Z80_OK);

  TMemorySetDialog dialog;
  dialog.Open(*machine);
  dialog.ChooseModel(kSpectrum48);
  dialog.ChooseSlot(1);
  ASSERT_TRUE(dialog.Browse(dir.path + "/x.rom"));  // x.rom,1 for the 48 ROM
  machine->WithCpuStopped([&] { machine->RomSlots[1][0] = 0x55; });
  TMemorySetDialog::Reload(*machine);  // the live specifications, not the edit
  EXPECT_TRUE(machine->IsCpuRunning());
  machine->WithCpuStopped([&] {
    EXPECT_EQ(machine->RomSlots[1][0], 1);
    EXPECT_EQ(machine->MemoryModel, kPentagon128);
  });

  dialog.Apply(*machine);
  EXPECT_TRUE(machine->IsCpuRunning());
  machine->StopCpu();
  EXPECT_EQ(machine->MemoryModel, kSpectrum48);
  EXPECT_EQ(dialog.Model(), kSpectrum48);
  EXPECT_FALSE(dialog.ApplyEnabled());
  EXPECT_EQ(machine->RomFileSpecs[1], dir.path + "/x.rom,1");
  EXPECT_EQ(machine->RomWindow(), machine->RomSlots[1]);  // the 48K model runs the 48 ROM
  EXPECT_NE(machine->Port7FFD & 0x20, 0);                 // with paging locked
  EXPECT_EQ(machine->RomSlots[1][0], 0x11);
  EXPECT_EQ(machine->RomSlots[0][0], 0);
  EXPECT_EQ(d.dialogs.Count(), 0u);
}

// ---- palette ----------------------------------------------------------------

TEST(PaletteDialog, BrightnessStepsStayInRangeAndFindThePresetsAgain) {
  auto m = MakeMachine();
  TPaletteDialog dialog;
  dialog.Open(*m);
  EXPECT_EQ(dialog.PresetIndex(), 1);
  EXPECT_FALSE(dialog.ApplyEnabled());

  struct Step {
    void (TPaletteDialog::*action)();
    int times;
    int preset;
    TPanelColor white;  // colour 15 afterwards
  };
  const Step steps[] = {
      {&TPaletteDialog::Brighter, 1, 0, 0xF1F1F1},
      {&TPaletteDialog::Darker, 1, 1, 0xF0F0F0},
      {&TPaletteDialog::Brighter, 20, 0, 0xFFFFFF},
      {&TPaletteDialog::Darker, 256, 0, 0x000000},
  };
  for (const Step& s : steps) {
    for (int i = 0; i < s.times; ++i) (dialog.*s.action)();
    EXPECT_EQ(dialog.PresetIndex(), s.preset);
    EXPECT_EQ(dialog.Colors()[15], s.white);
    EXPECT_TRUE(dialog.ApplyEnabled());
  }
  for (TPanelColor c : dialog.Colors()) EXPECT_EQ(c, 0u);
  dialog.ChoosePreset(4);  // Unreal: #0000BF is blue, so B lands in bits 16-23
  EXPECT_EQ(dialog.Colors()[1], 0xBF0000u);
  for (int i = 0; i < 256; ++i) dialog.Brighter();
  for (TPanelColor c : dialog.Colors()) EXPECT_EQ(c, 0xFFFFFFu);

  // The same colour chosen again still counts as a change.
  dialog.Open(*m);
  dialog.SetColor(3, dialog.Colors()[3]);
  EXPECT_TRUE(dialog.ApplyEnabled());
  EXPECT_EQ(dialog.PresetIndex(), 1);

  std::array<TPalettePreset, 3> twins = {PalettePresets[2], PalettePresets[0], PalettePresets[0]};
  EXPECT_EQ(MatchPaletteColors(dialog.Colors(), twins), 3);
}

TEST(PaletteDialog, PreviewDrawsInkAndPaperFromTheAttributes) {
  auto m = MakeMachine();
  std::array<uint8_t, TPaletteDialog::kScreenBytes> screen{};
  screen[0] = 0xF0;            // line 0, column 0: four ink pixels, four paper
  screen[6144] = 0xC7;         // flash, bright, paper 0, ink 7
  screen[2048 + 1] = 0x01;     // line 64, column 1: last pixel ink
  screen[6144 + 8 * 32 + 1] = 0x0A;  // paper 1, ink 2
  TPaletteDialog dialog;
  dialog.Open(*m);
  dialog.SetScreen(screen.data());
  const auto pixels = dialog.DrawPreview();
  EXPECT_EQ(pixels[0], 0xF0F0F0u);  // bright white ink
  EXPECT_EQ(pixels[4], 0x000000u);
  EXPECT_EQ(pixels[64 * 256 + 8], 0x0000C0u);       // blue paper
  EXPECT_EQ(pixels[64 * 256 + 15], 0xC00000u);      // red ink
}

TEST(PaletteDialog, ApplyReachesTheRunningPicture) {
  auto m = MakeMachine();
  platform::DisplayOutput out;
  TDisplayDevice display(out);
  m->SetDisplayOutput(&display);
  m->Limit50Hz = 0;
  ASSERT_EQ(m->StartCpu(), Z80_OK);

  TPaletteDialog dialog;
  dialog.Open(*m);
  dialog.ChoosePreset(3);  // Gray
  dialog.Apply(*m);
  EXPECT_TRUE(m->IsCpuRunning());
  EXPECT_FALSE(dialog.ApplyEnabled());
  EXPECT_EQ(dialog.PresetIndex(), 3);

  // Whatever was waiting may be older; the next picture must carry the new colours.
  platform::Picture picture;
  out.slot().Take(picture);
  bool taken = false;
  for (int i = 0; i < 20000 && !taken; ++i) {
    taken = out.slot().Take(picture);
    if (!taken) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  m->StopCpu();
  ASSERT_TRUE(taken);
  for (size_t i = 0; i < 16; ++i) EXPECT_EQ(picture.palette[16 + i], PalettePresets[2].Rgb[i]) << i;
}

// ---- file associations --------------------------------------------------------

class AssociationsTest : public ::testing::Test {
 protected:
  TXdgDirs Dirs() const { return {home.path + "/data", home.path + "/config", {}}; }
  TempDir home;
};

TEST_F(AssociationsTest, DefaultTicksWriteTypesDesktopFileDefaultsAndIcons) {
  Dialogs d(&platform::SetDialogs);
  fs::create_directories(home.path + "/config");
  std::ofstream(home.path + "/config/mimeapps.list")
      << "[Default Applications]\ntext/plain=editor.desktop\napplication/x-ovrin-trd=old.desktop\n";
  ASSERT_TRUE(RegisterAssociations(DefaultAssociationTicks(), "/opt/my emu/ovrin", Dirs()));

  ASSERT_EQ(d.dialogs.Count(), 1u);
  EXPECT_EQ(d.dialogs.Messages()[0].text,
            "Extensions TRD,SCL,FDI,TD0,UDI,FDD,TAP,Z80,SNA,SIT,SP,ZX\nsuccessfully registered!");

  const std::string xml = Slurp(home.path + "/data/mime/packages/ovrin.xml");
  const std::string desktop = Slurp(home.path + "/data/applications/ovrin.desktop");
  const std::string defaults = Slurp(home.path + "/config/mimeapps.list");
  EXPECT_NE(desktop.find("\nExec=\"/opt/my emu/ovrin\" %f\n"), std::string::npos) << desktop;
  EXPECT_NE(defaults.find("text/plain=editor.desktop\n"), std::string::npos);
  EXPECT_EQ(defaults.find("old.desktop"), std::string::npos);
  for (size_t row = 0; row < kAssociationRows.size(); ++row) {
    const TAssociationRow& r = kAssociationRows[row];
    const std::string type = AssociationMimeType(r);
    const bool ticked = int(row) != kDisabledAssociationRow;
    SCOPED_TRACE(type);
    EXPECT_EQ(xml.find("<glob pattern=\"*." + std::string(r.Extension) + "\"/>") != std::string::npos, ticked);
    EXPECT_EQ(xml.find(r.Description) != std::string::npos, ticked);
    EXPECT_EQ(desktop.find(type + ";") != std::string::npos, ticked);
    EXPECT_EQ(defaults.find(type + "=ovrin.desktop\n") != std::string::npos, ticked);
  }
  for (const char* icon : {"apps/ovrin", "mimetypes/ovrin-disk", "mimetypes/ovrin-z80",
                           "mimetypes/ovrin-snapshot", "mimetypes/ovrin-tape"})
    EXPECT_TRUE(fs::exists(home.path + "/data/icons/hicolor/scalable/" + icon + ".svg")) << icon;

  // Where the desktop's own tool is installed, it must have understood the package.
  if (fs::exists("/usr/bin/update-mime-database")) {
    const std::string globs = Slurp(home.path + "/data/mime/globs2");
    EXPECT_NE(globs.find("application/x-ovrin-udi:*.udi"), std::string::npos) << globs;
  }
}

TEST_F(AssociationsTest, NothingTickedWritesNothingAndAFailedWriteIsNoSuccess) {
  Dialogs d(&platform::SetDialogs);
  TAssociationTicks none{};
  EXPECT_TRUE(RegisterAssociations(none, "/usr/bin/ovrin", Dirs()));
  EXPECT_TRUE(fs::is_empty(home.path));
  EXPECT_EQ(d.dialogs.Count(), 0u);

  TAssociationTicks scl{};
  scl[1] = true;
  EXPECT_EQ(PlanAssociations(scl, "/usr/bin/ovrin", Dirs()).Report, "SCL");

  std::ofstream(home.path + "/data") << "a file where the data directory should be";
  EXPECT_FALSE(RegisterAssociations(scl, "/usr/bin/ovrin", Dirs()));
  ASSERT_EQ(d.dialogs.Count(), 1u);
  EXPECT_EQ(d.dialogs.Messages()[0].text.rfind("File associations write failed!\n", 0), 0u);
}

// A package of another program that knows some of the extensions; as
// update-mime-database compiles it.
void WriteForeignGlobs(const std::string& dataDir) {
  fs::create_directories(dataDir + "/mime");
  std::ofstream(dataDir + "/mime/globs2") << "# comment\n"
                                             "50:application/x-spectrum-scl:*.scl\n"
                                             "50:application/x-ovrin-trd:*.trd\n"
                                             "40:application/x-tape:*.TAP:cs\n"
                                             "50:application/x-spectrum-scl:*.scl\n";
}

std::vector<std::string> MimeTypeList(const std::string& desktop) {
  const size_t at = desktop.find("\nMimeType=");
  if (at == std::string::npos) return {};
  const size_t end = desktop.find('\n', at + 1);
  std::vector<std::string> types;
  std::string list = desktop.substr(at + 10, end - at - 10), type;
  for (char c : list) {
    if (c == ';') {
      types.push_back(type);
      type.clear();
    } else {
      type += c;
    }
  }
  return types;
}

// An extension the desktop already types is registered under that type too,
// so a double-click opens the program; a later registration of fewer rows
// adds and keeps all that was registered.
TEST_F(AssociationsTest, RegisteringAddsTheDesktopsTypesAndKeepsEarlierRows) {
  Dialogs d(&platform::SetDialogs);
  TXdgDirs dirs = Dirs();
  dirs.DataDirs = {home.path + "/system", home.path + "/none"};
  WriteForeignGlobs(home.path + "/system");
  EXPECT_EQ(ExistingMimeTypes("scl", dirs), std::vector<std::string>{"application/x-spectrum-scl"});
  EXPECT_EQ(ExistingMimeTypes("tap", dirs), std::vector<std::string>{"application/x-tape"});
  EXPECT_TRUE(ExistingMimeTypes("trd", dirs).empty());  // the program's own type
  EXPECT_TRUE(ExistingMimeTypes("sc", dirs).empty());

  TAssociationTicks first{};
  first[0] = first[1] = true;  // TRD, SCL
  ASSERT_TRUE(RegisterAssociations(first, "/usr/bin/ovrin", dirs));
  const std::vector<std::string> firstTypes = {"application/x-ovrin-trd", "application/x-ovrin-scl",
                                               "application/x-spectrum-scl"};
  EXPECT_EQ(MimeTypeList(Slurp(home.path + "/data/applications/ovrin.desktop")), firstTypes);
  EXPECT_NE(Slurp(home.path + "/config/mimeapps.list").find("application/x-spectrum-scl=ovrin.desktop\n"),
            std::string::npos);

  TAssociationTicks tap{};
  tap[6] = true;
  ASSERT_TRUE(RegisterAssociations(tap, "/usr/bin/ovrin", dirs));
  std::vector<std::string> allTypes = firstTypes;
  allTypes.insert(allTypes.end(), {"application/x-ovrin-tap", "application/x-tape"});
  EXPECT_EQ(MimeTypeList(Slurp(home.path + "/data/applications/ovrin.desktop")), allTypes);
  const std::string xml = Slurp(home.path + "/data/mime/packages/ovrin.xml");
  for (const char* glob : {"*.trd", "*.scl", "*.tap"})
    EXPECT_NE(xml.find(std::string("<glob pattern=\"") + glob + "\"/>"), std::string::npos) << glob;
  const std::string defaults = Slurp(home.path + "/config/mimeapps.list");
  for (const std::string& type : allTypes)
    EXPECT_NE(defaults.find(type + "=ovrin.desktop\n"), std::string::npos) << type;
  EXPECT_EQ(d.dialogs.Messages().back().text, "Extensions TAP\nsuccessfully registered!");
}

// The desktop's own tools, where installed, agree: the type another
// package gave .scl now opens this program.
TEST_F(AssociationsTest, TheDesktopOpensAForeignSclTypeWithTheProgram) {
  for (const char* tool : {"update-mime-database", "gio"}) {
    if (std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) != 0)
      GTEST_SKIP() << tool << " is not installed (packages shared-mime-info and libglib2.0-bin)";
  }
  Dialogs d(&platform::SetDialogs);
  const std::string system = home.path + "/system";
  fs::create_directories(system + "/mime/packages");
  std::ofstream(system + "/mime/packages/spectrum.xml")
      << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
         "  <mime-type type=\"application/x-spectrum-scl\"><comment>SCL image</comment>"
         "<glob pattern=\"*.scl\"/></mime-type>\n"
         "</mime-info>\n";
  ASSERT_EQ(std::system(("update-mime-database '" + system + "/mime' >/dev/null 2>&1").c_str()), 0);
  TXdgDirs dirs = Dirs();
  dirs.DataDirs = {system};
  // The desktop takes a .desktop file only when its program exists.
  ASSERT_TRUE(RegisterAssociations(DefaultAssociationTicks(), ProgramPath(), dirs));

  const std::string env = "XDG_DATA_HOME='" + dirs.DataHome + "' XDG_CONFIG_HOME='" + dirs.ConfigHome +
                          "' XDG_DATA_DIRS='" + system + "' ";
  for (const char* type : {"application/x-spectrum-scl", "application/x-ovrin-scl"}) {
    SCOPED_TRACE(type);
    const std::string out = home.path + "/gio.txt";
    std::system((env + "gio mime " + type + " >'" + out + "' 2>&1").c_str());
    const std::string answer = Slurp(out);
    EXPECT_NE(answer.find("Default application"), std::string::npos) << answer;
    EXPECT_NE(answer.find(": ovrin.desktop"), std::string::npos) << answer;
  }
}

TEST(Associations, TheProgramPathIsOneQuotedArgument) {
  const std::pair<const char*, const char*> cases[] = {
      {"/usr/bin/ovrin", R"("/usr/bin/ovrin" %f)"},
      {"/opt/my emu/ovrin", R"("/opt/my emu/ovrin" %f)"},
      {R"(/o"d/$x`/a\b/100%)", R"("/o\\"d/\\$x\\`/a\\\\b/100%%" %f)"},
  };
  for (const auto& [path, exec] : cases) EXPECT_EQ(DesktopExecValue(path), exec) << path;

  const std::pair<const char*, const char*> merges[] = {
      {"", "[Default Applications]\nk=v\n"},
      {"[Added Associations]\na=b\n", "[Added Associations]\na=b\n\n[Default Applications]\nk=v\n"},
      {"[Default Applications]\nk=old\nz=1\n[X]\n", "[Default Applications]\nk=v\nz=1\n[X]\n"},
      {"[Default Applications]\nz=1\n\n[X]\nk=old\n", "[Default Applications]\nz=1\n\nk=v\n[X]\nk=old\n"},
  };
  for (const auto& [before, after] : merges) EXPECT_EQ(MergeMimeApps(before, {{"k", "v"}}), after) << before;
}

// ---- about ------------------------------------------------------------------

TEST(AboutText, ClockInMegahertzWithTheLocaleSeparator) {
  struct Case {
    uint64_t hz;
    const char* separator;
    const char* text;
  };
  const Case cases[] = {
      {1994123456, ".", "1994.123456"}, {1994123456, ",", "1994,123456"}, {2000000000, ",", "2000"},
      {0, ".", "0"},                    {999999, ".", "0.999999"},
  };
  for (const Case& c : cases) EXPECT_EQ(ClockMHzText(c.hz, c.separator), c.text) << c.hz;
  EXPECT_EQ(AboutCpuLine("GenuineIntel 6.158.10", 2000000000, "."), "Detected CPU: GenuineIntel 6.158.10 at 2000 MHz");
  EXPECT_EQ(AboutEditionLine().rfind("Last edition: ", 0), 0u);
}

}  // namespace
