#include "platform/qt/qt_settings.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

class IniSettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/ovrin-ini-XXXXXX";
    dir_ = mkdtemp(tmpl);
    path_ = dir_ + "/OVRIN/OVRIN.ini";
  }
  void TearDown() override { fs::remove_all(dir_); }
  void WriteFile(const std::string& text) {
    fs::create_directories(fs::path(path_).parent_path());
    std::ofstream(path_) << text;
  }
  std::string dir_, path_;
};

// A damaged file reads as no values and is rewritten whole: its format error
// is no failed write. Something other than a file at the path is neither
// read (a FIFO would block) nor replaced.
TEST_F(IniSettingsTest, GarbageIsRewrittenAndASpecialFileIsLeftAlone) {
  std::string garbage(3000, '\0');
  for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<char>((i * 7919) % 251);
  WriteFile(garbage + "\n[[[=\n");
  {
    platform::qt::IniSettings s(path_);
    s.WriteInt("", "VectorBUS", 7);
    EXPECT_TRUE(s.Flush());
  }
  EXPECT_EQ(platform::qt::IniSettings(path_).ReadInt("", "VectorBUS"), 7);

  fs::remove(path_);
  ASSERT_EQ(mkfifo(path_.c_str(), 0644), 0);
  platform::qt::IniSettings s(path_);
  EXPECT_FALSE(s.Exists("", "Installed"));
  s.WriteString("", "Installed", "Yes");
  EXPECT_FALSE(s.Flush());
  EXPECT_TRUE(fs::is_fifo(path_));
}

TEST_F(IniSettingsTest, ValuesSurviveAFreshObjectAndLandInTheirSections) {
  {
    platform::qt::IniSettings s(path_);
    s.WriteBool("", "EnableCMOS", true);
    s.WriteInt("", "VectorBUS", 255);
    s.WriteString("", "ROMFILE1", "/usr/share/spectrum-roms/opense.rom,0");
    std::vector<uint8_t> palette(48);
    for (size_t i = 0; i < palette.size(); ++i) palette[i] = static_cast<uint8_t>(i * 5 + 1);
    s.WriteBytes("", "Palette", palette);
    s.WriteInt("Timing", "timeLoopTime", 71680);
    s.WriteInt("Timing", "timeHorzScreenBegin", 4294967292);
    ASSERT_TRUE(s.Flush());
  }
  platform::qt::IniSettings s(path_);
  EXPECT_EQ(s.ReadBool("", "EnableCMOS"), true);
  EXPECT_EQ(s.ReadInt("", "VectorBUS"), 255);
  EXPECT_EQ(s.ReadString("", "ROMFILE1"), "/usr/share/spectrum-roms/opense.rom,0");
  auto palette = s.ReadBytes("", "Palette");
  ASSERT_TRUE(palette);
  ASSERT_EQ(palette->size(), 48u);
  EXPECT_EQ((*palette)[47], 47 * 5 + 1);
  EXPECT_EQ(s.ReadInt("Timing", "timeLoopTime"), 71680);
  EXPECT_EQ(s.ReadInt("Timing", "timeHorzScreenBegin"), 4294967292);
  EXPECT_FALSE(s.Exists("", "timeLoopTime"));

  std::ifstream in(path_);
  std::string text((std::istreambuf_iterator<char>(in)), {});
  EXPECT_NE(text.find("[Timing]"), std::string::npos);
  EXPECT_NE(text.find("EnableCMOS=1"), std::string::npos);
}

TEST_F(IniSettingsTest, HandWrittenValuesOfTheWrongTypeReadAsMissing) {
  WriteFile(
      "[General]\n"
      "VectorBUS=abc\n"
      "MemoryModel=12abc\n"
      "EnableCMOS= 1 \n"
      "ROMFILE0=opense.rom,1\n"
      "Palette=not bytes\n"
      "Installed=Yes\n");
  platform::qt::IniSettings s(path_);
  EXPECT_EQ(s.ReadInt("", "VectorBUS"), std::nullopt);
  EXPECT_EQ(s.ReadInt("", "MemoryModel"), std::nullopt);
  EXPECT_EQ(s.ReadBool("", "EnableCMOS"), true);
  EXPECT_EQ(s.ReadString("", "ROMFILE0"), "opense.rom,1");
  EXPECT_EQ(s.ReadBytes("", "Palette"), std::nullopt);
  EXPECT_TRUE(s.Exists("", "Installed"));
  EXPECT_FALSE(s.Exists("", "Missing"));
}

TEST_F(IniSettingsTest, FlushReportsAFileThatCannotBeWritten) {
  // The settings folder's place is taken by a regular file.
  fs::create_directories(dir_);
  std::ofstream(dir_ + "/OVRIN") << "x";
  platform::qt::IniSettings s(path_);
  s.WriteInt("", "A", 1);
  EXPECT_FALSE(s.Flush());
}

// A relative XDG_CONFIG_HOME is invalid and counts as unset: the settings
// do not move with the current folder.
TEST(IniSettingsPath, FollowsAnAbsoluteXdgConfigHomeOnly) {
  const char* old = getenv("XDG_CONFIG_HOME");
  const std::string saved = old ? old : "";
  const std::string home = getenv("HOME") ? getenv("HOME") : "";
  const struct {
    const char* value;  // nullptr: unset
    std::string want;
  } cases[] = {
      {"/tmp/cfg-here", "/tmp/cfg-here/OVRIN/OVRIN.ini"},
      {nullptr, home + "/.config/OVRIN/OVRIN.ini"},
      {"", home + "/.config/OVRIN/OVRIN.ini"},
      {"cfg-here", home + "/.config/OVRIN/OVRIN.ini"},
      {"./cfg", home + "/.config/OVRIN/OVRIN.ini"},
  };
  for (const auto& c : cases) {
    if (c.value) setenv("XDG_CONFIG_HOME", c.value, 1);
    else unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(platform::qt::DefaultSettingsPath(), c.want) << (c.value ? c.value : "unset");
  }
  if (old) setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
  else unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
