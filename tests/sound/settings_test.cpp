// The plug-in's settings in the program's settings file: kept beside the
// program's own values, bad values ignored, and no dialog without a
// QApplication.
#include "sound/settings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("kelvora-settings-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_ / "OVRIN");
    setenv("XDG_CONFIG_HOME", dir_.c_str(), 1);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string Path() const { return (dir_ / "OVRIN" / "OVRIN.ini").string(); }
  void WriteIni(const std::string& text) { std::ofstream(Path()) << text; }
  std::string ReadIni() {
    std::stringstream s;
    s << std::ifstream(Path()).rdbuf();
    return s.str();
  }
  std::filesystem::path dir_;
};

TEST_F(SettingsTest, FileLiesInTheProgramsConfigDirectory) {
  EXPECT_EQ(kelvora::SettingsFilePath(), Path());
}

TEST_F(SettingsTest, SavedValuesComeBackAndTheProgramsValuesStay) {
  WriteIni("[Timing]\ntimeLoopTime=69888\n");
  ASSERT_TRUE(kelvora::SaveSettings({35, kelvora::StereoMode::kMono}));
  const auto loaded = kelvora::LoadSettings();
  EXPECT_EQ(loaded.volume, 35);
  EXPECT_EQ(loaded.stereo, kelvora::StereoMode::kMono);
  const std::string ini = ReadIni();
  EXPECT_NE(ini.find("timeLoopTime=69888"), std::string::npos);
  EXPECT_NE(ini.find("[Kelvora]"), std::string::npos);
}

TEST_F(SettingsTest, BadOrMissingValuesGiveTheDefaults) {
  const kelvora::KelvoraSettings defaults;
  for (const char* text : {"", "[Kelvora]\nVolume=500\nStereo=7\n", "[Kelvora]\nVolume=abc\nStereo=-1\n"}) {
    WriteIni(text);
    const auto loaded = kelvora::LoadSettings();
    EXPECT_EQ(loaded.volume, defaults.volume) << text;
    EXPECT_EQ(loaded.stereo, defaults.stereo) << text;
  }
}

TEST_F(SettingsTest, NoDialogWithoutAnApplication) {
  kelvora::KelvoraSettings s{42, kelvora::StereoMode::kABC};
  EXPECT_FALSE(kelvora::EditSettings(s));
  EXPECT_EQ(s.volume, 42);
}

}  // namespace
