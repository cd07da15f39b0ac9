#include "shell/settings.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "platform/files.h"
#include "platform/qt/qt_settings.h"
#include "support/recording_dialogs.h"

namespace {

namespace fs = std::filesystem;
using testing_support::ScopedDialogs;

class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/ovrin-settings-XXXXXX";
    dir_ = mkdtemp(tmpl);
    ini_ = dir_ + "/OVRIN/OVRIN.ini";
    platform::SetProgramDirectoryForTesting(dir_);
  }
  void TearDown() override {
    platform::SetProgramDirectoryForTesting("");
    fs::remove_all(dir_);
  }
  std::unique_ptr<TZXHardware> NewMachine() { return std::make_unique<TZXHardware>(); }
  // A start-up's reading: timing first, then the key.
  void Load(platform::SettingsStore& store, TZXHardware& m, TShellSwitches& sw) {
    m.Timing = ReadTimingSettings(store);
    m.InitScreenTiming();
    ReadKeySettings(store, m, sw);
  }

  ScopedDialogs<decltype(&platform::SetDialogs)> dialogs_{&platform::SetDialogs};
  std::string dir_, ini_;
};

TEST_F(SettingsTest, SaveAndRestartRestoresEveryValue) {
  auto a = NewMachine();
  TShellSwitches sw_a;
  a->EnableCMOS = 0;
  a->BetaDiskEmulation = 0;
  a->KempstonMouseEmulation = 0;
  a->SoundChip.AYMouseEmulation = 0;
  a->Cpu().Req.IntVector = 0x3C;
  a->TapeEmulationEnabled = 0;
  a->SoundChip.AYRegistersEmulation = 0;
  a->SoundChip.YMRegistersType = 0;
  sw_a.FullScreenStart = true;
  a->TapeTrapsEnabled = 1;
  a->SwapMouseButtons = 1;
  a->SetMemoryModel(kScorpion256);
  a->RomFileSpecs = {"/roms/a.rom,3", "b.rom", "", "c,d.rom,1"};
  for (size_t i = 0; i < 48; ++i) a->SpectrumPalette[i] = static_cast<uint8_t>(200 - i);
  a->Timing = TimingFromPreset(1, 3);
  {
    platform::qt::IniSettings store(ini_);
    ASSERT_TRUE(SaveSettings(store, *a, sw_a));
  }

  auto b = NewMachine();
  TShellSwitches sw_b;
  platform::qt::IniSettings store(ini_);
  Load(store, *b, sw_b);
  EXPECT_EQ(b->EnableCMOS, 0);
  EXPECT_EQ(b->BetaDiskEmulation, 0);
  EXPECT_EQ(b->KempstonMouseEmulation, 0);
  EXPECT_EQ(b->SoundChip.AYMouseEmulation, 0);
  EXPECT_EQ(b->Cpu().Req.IntVector, 0x3C);
  EXPECT_EQ(b->SoundChip.BeeperEnabled, a->SoundChip.BeeperEnabled);
  EXPECT_EQ(b->TapeEmulationEnabled, 0);
  EXPECT_EQ(b->SoundChip.AYEnabled, a->SoundChip.AYEnabled);
  EXPECT_EQ(b->SoundChip.AYRegistersEmulation, 0);
  EXPECT_EQ(b->SoundChip.YMRegistersType, 0);
  EXPECT_TRUE(sw_b.FullScreenStart);
  EXPECT_EQ(b->TapeTrapsEnabled, 1);
  EXPECT_EQ(b->SwapMouseButtons, 1);
  EXPECT_EQ(b->MemoryModel, kScorpion256);
  EXPECT_EQ(b->RomFileSpecs, a->RomFileSpecs);
  EXPECT_EQ(b->SpectrumPalette, a->SpectrumPalette);
  EXPECT_EQ(b->Timing, a->Timing);
  EXPECT_EQ(dialogs_.dialogs.Count(), 0u);
}

TEST_F(SettingsTest, FirstRunShowsTheWelcomeOnceAndRunsWithDefaults) {
  auto m = NewMachine();
  TShellSwitches sw;
  {
    platform::qt::IniSettings store(ini_);
    dialogs_.dialogs.Script({platform::MsgResult::Ok});
    int offered = 0;
    // The associations come first: no marker and no welcome yet.
    EXPECT_TRUE(CheckFirstRun(store, [&] {
      ++offered;
      EXPECT_FALSE(store.Exists("", "Installed"));
      EXPECT_EQ(dialogs_.dialogs.Count(), 0u);
    }));
    EXPECT_EQ(offered, 1);
    Load(store, *m, sw);
  }
  auto shown = dialogs_.dialogs.Messages();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].caption, "Welome");
  EXPECT_EQ(shown[0].text.rfind("Welcome to OVRIN\n\nWrite bugreports to ", 0), 0u);
  EXPECT_EQ(shown[0].buttons, platform::MsgButtons::Ok);
  EXPECT_EQ(shown[0].icon, platform::MsgIcon::None);  // a plain box

  EXPECT_EQ(m->Timing, TimingFromPreset(0, 0));
  EXPECT_EQ(m->EnableCMOS, 1);
  EXPECT_EQ(m->BetaDiskEmulation, 1);
  EXPECT_EQ(m->KempstonMouseEmulation, 1);
  EXPECT_EQ(m->SoundChip.AYMouseEmulation, 1);
  EXPECT_EQ(m->Cpu().Req.IntVector, 0xFF);
  EXPECT_EQ(m->TapeEmulationEnabled, 1);
  EXPECT_EQ(m->SoundChip.AYRegistersEmulation, 1);
  EXPECT_EQ(m->SoundChip.YMRegistersType, 1);
  EXPECT_FALSE(sw.FullScreenStart);
  EXPECT_EQ(m->TapeTrapsEnabled, 0);
  EXPECT_EQ(m->SwapMouseButtons, 0);
  EXPECT_EQ(m->MemoryModel, 0);
  EXPECT_EQ(m->RomFileSpecs[0], "pentagon.rom,0");
  EXPECT_EQ(m->RomFileSpecs[3], "pentagon.rom,3");
  EXPECT_EQ(m->SpectrumPalette, DefaultSpectrumPalette);

  // The marker is on disk: the next start is not a first run.
  platform::qt::IniSettings again(ini_);
  EXPECT_EQ(again.ReadString("", "Installed"), "Yes");
  EXPECT_FALSE(CheckFirstRun(again, [] { ADD_FAILURE() << "associations offered again"; }));
  EXPECT_EQ(dialogs_.dialogs.Count(), 1u);
}

TEST_F(SettingsTest, OddAndUnreadableValues) {
  using V = platform::MemorySettings::Value;
  struct Case {
    const char* what;
    std::vector<std::tuple<const char*, const char*, V>> values;
    std::function<void(TZXHardware&, TShellSwitches&)> check;
  };
  const std::vector<uint8_t> six = {1, 2, 3, 4, 5, 6};
  const Case cases[] = {
      {"VectorBUS keeps its low 8 bits", {{"", "VectorBUS", V{int64_t{511}}}},
       [](TZXHardware& m, TShellSwitches&) { EXPECT_EQ(m.Cpu().Req.IntVector, 0xFF); }},
      {"VectorBUS 0x134", {{"", "VectorBUS", V{int64_t{0x134}}}},
       [](TZXHardware& m, TShellSwitches&) { EXPECT_EQ(m.Cpu().Req.IntVector, 0x34); }},
      {"VectorBUS as text", {{"", "VectorBUS", V{std::string("x")}}},
       [](TZXHardware& m, TShellSwitches&) { EXPECT_EQ(m.Cpu().Req.IntVector, 0xFF); }},
      {"model 9", {{"", "MemoryModel", V{int64_t{9}}}},
       [](TZXHardware& m, TShellSwitches&) { EXPECT_EQ(m.MemoryModel, 0); }},
      {"model -1", {{"", "MemoryModel", V{int64_t{-1}}}},
       [](TZXHardware& m, TShellSwitches&) { EXPECT_EQ(m.MemoryModel, 0); }},
      {"model 7", {{"", "MemoryModel", V{int64_t{7}}}},
       [](TZXHardware& m, TShellSwitches&) { EXPECT_EQ(m.MemoryModel, 7); }},
      {"model wider than 32 bits", {{"", "MemoryModel", V{int64_t{1} << 40}}},
       [](TZXHardware& m, TShellSwitches&) { EXPECT_EQ(m.MemoryModel, 0); }},
      {"bool as bytes", {{"", "EnableCMOS", V{std::vector<uint8_t>{0}}}},
       [](TZXHardware& m, TShellSwitches&) { EXPECT_EQ(m.EnableCMOS, 1); }},
      {"bool 7 is on", {{"", "FullScreenStart", V{int64_t{7}}}},
       [](TZXHardware&, TShellSwitches& sw) { EXPECT_TRUE(sw.FullScreenStart); }},
      {"ROM spec as a number", {{"", "ROMFILE2", V{int64_t{5}}}},
       [](TZXHardware& m, TShellSwitches&) { EXPECT_EQ(m.RomFileSpecs[2], "pentagon.rom,2"); }},
      {"palette of 49 bytes", {{"", "Palette", V{std::vector<uint8_t>(49, 7)}}},
       [](TZXHardware& m, TShellSwitches&) { EXPECT_EQ(m.SpectrumPalette, DefaultSpectrumPalette); }},
      {"palette as text", {{"", "Palette", V{std::string("red")}}},
       [](TZXHardware& m, TShellSwitches&) { EXPECT_EQ(m.SpectrumPalette, DefaultSpectrumPalette); }},
      {"short palette sets its colours only", {{"", "Palette", V{six}}},
       [](TZXHardware& m, TShellSwitches&) {
         EXPECT_EQ(m.SpectrumPalette[5], 6);
         EXPECT_EQ(m.SpectrumPalette[6], DefaultSpectrumPalette[6]);
         EXPECT_EQ(m.SpectrumPalette[47], DefaultSpectrumPalette[47]);
       }},
      {"timing value unreadable", {{"Timing", "timeLineTime", V{std::string("wide")}}},
       [](TZXHardware& m, TShellSwitches&) { EXPECT_EQ(m.Timing, TimingFromPreset(0, 0)); }},
      {"timing names outside the group are not timing",
       {{"", "timeLoopTime", V{int64_t{69888}}}},
       [](TZXHardware& m, TShellSwitches&) { EXPECT_EQ(m.Timing.timeLoopTime, 71680u); }},
      {"a valid set is kept",
       {{"Timing", "timeLoopTime", V{int64_t{69888}}}, {"Timing", "timeScreenBeginLines", V{int64_t{64}}},
        {"Timing", "timeHorzScreenBegin", V{int64_t{4294967292}}}, {"Timing", "timeCycleFIX", V{int64_t{4}}},
        {"Timing", "execAlignM1", V{int64_t{1}}}},
       [](TZXHardware& m, TShellSwitches&) {
         EXPECT_EQ(m.Timing.timeLoopTime, 69888u);
         EXPECT_EQ(m.Timing.timeHorzScreenBegin, 4294967292u);
         EXPECT_EQ(m.Timing.timeCycleFIX, 4);
         EXPECT_EQ(m.Timing.execAlignM1, 1);
       }},
      {"a set the timing dialog refuses falls back to the defaults",
       {{"Timing", "timeLoopTime", V{int64_t{400000}}}, {"Timing", "execAlignM1", V{int64_t{1}}}},
       [](TZXHardware& m, TShellSwitches&) {
         TTimingValues expected = TimingFromPreset(0, 0);
         expected.execAlignM1 = 1;
         EXPECT_EQ(m.Timing, expected);
       }},
      {"INT window past the frame",
       {{"Timing", "timeInterruptEnd", V{int64_t{71680}}}},
       [](TZXHardware& m, TShellSwitches&) { EXPECT_EQ(m.Timing, TimingFromPreset(0, 0)); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    platform::MemorySettings store;
    for (const auto& [group, name, value] : c.values) store.Set(group, name, value);
    auto m = NewMachine();
    TShellSwitches sw;
    Load(store, *m, sw);
    c.check(*m, sw);
  }
  EXPECT_EQ(dialogs_.dialogs.Count(), 0u);
}

TEST_F(SettingsTest, SaveIntoAnUnwritableFileIsReported) {
  std::ofstream(dir_ + "/OVRIN") << "in the way";
  auto m = NewMachine();
  platform::qt::IniSettings store(ini_);
  EXPECT_FALSE(SaveSettings(store, *m, TShellSwitches{}));
  auto shown = dialogs_.dialogs.Messages();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text.rfind("Settings file write failed!", 0), 0u);
}

std::vector<uint8_t> FileBytes(const std::string& path) {
  return platform::ReadWholeFile(path).value_or(std::vector<uint8_t>{});
}

TEST_F(SettingsTest, CmosFileRoundTripShortAndMissingFiles) {
  std::array<uint8_t, 256> cmos;
  cmos.fill(0xAA);
  ReadCmosFile(cmos);  // no file: nothing changes, nothing is said
  EXPECT_EQ(cmos[0], 0xAA);

  for (int i = 0; i < 256; ++i) cmos[i] = static_cast<uint8_t>(i ^ 0x5A);
  ASSERT_TRUE(WriteCmosFile(cmos));
  EXPECT_EQ(FileBytes(dir_ + "/cmos").size(), 256u);
  std::array<uint8_t, 256> back{};
  ReadCmosFile(back);
  EXPECT_EQ(back, cmos);

  // A 10-byte file sets registers 0 to 9 and leaves the rest.
  std::ofstream(dir_ + "/cmos", std::ios::binary | std::ios::trunc) << "0123456789";
  back.fill(0x11);
  ReadCmosFile(back);
  EXPECT_EQ(back[0], '0');
  EXPECT_EQ(back[9], '9');
  EXPECT_EQ(back[10], 0x11);
  EXPECT_EQ(dialogs_.dialogs.Count(), 0u);
}

TEST_F(SettingsTest, FailedCmosWriteKeepsTheOldFileAndSaysSo) {
  std::array<uint8_t, 256> cmos;
  cmos.fill(1);
  ASSERT_TRUE(WriteCmosFile(cmos));

  // The directory the file should go to is a regular file.
  const std::string blocked = dir_ + "/blocked";
  std::ofstream(blocked) << "plain file";
  platform::SetProgramDirectoryForTesting(blocked);
  cmos.fill(2);
  EXPECT_FALSE(WriteCmosFile(cmos));
  platform::SetProgramDirectoryForTesting(dir_);
  EXPECT_EQ(FileBytes(blocked).size(), 10u);

  // The write itself fails: the old file stays as it was.
  auto old = platform::SetFileWriterForTesting([](const std::string&, const void*, size_t) { return false; });
  EXPECT_FALSE(WriteCmosFile(cmos));
  platform::SetFileWriterForTesting(old);
  EXPECT_EQ(FileBytes(dir_ + "/cmos"), std::vector<uint8_t>(256, 1));

  auto shown = dialogs_.dialogs.Messages();
  ASSERT_EQ(shown.size(), 2u);
  for (const auto& s : shown) {
    EXPECT_EQ(s.caption, "OVRIN");
    EXPECT_EQ(s.text, "CMOS file write failed!");
  }
}

}  // namespace
