// ROM file specifications and the timing rules.
#include <fcntl.h>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "machine_test_util.h"
#include "platform/files.h"
#include "support/recording_dialogs.h"

using namespace machine_test;

namespace {

namespace fs = std::filesystem;

// A scratch program directory holding "rom.bin" (three pages filled with
// 0x10, 0x11, 0x12), "one.rom" (one page of 0x20) and "short.rom" (one page
// of 0x30 and 100 bytes of 0x31).
class RomFiles : public testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/ovrin-roms-XXXXXX";
    base_ = mkdtemp(tmpl);
    dir_ = base_ + "/pro,gram";  // a comma inside the program directory
    fs::create_directories(dir_);
    Fill("rom.bin", {{16384, 0x10}, {16384, 0x11}, {16384, 0x12}});
    Fill("one.rom", {{16384, 0x20}});
    Fill("short.rom", {{16384, 0x30}, {100, 0x31}});
    platform::SetProgramDirectoryForTesting(dir_);
    m_ = MakeMachine();
    for (auto& slot : m_->RomSlots) std::fill(slot, slot + TZXHardware::kPageSize, 0xEE);
  }
  void TearDown() override {
    platform::SetProgramDirectoryForTesting("");
    fs::remove_all(base_);
  }
  void Fill(const std::string& name, std::vector<std::pair<size_t, uint8_t>> parts) {
    std::ofstream out(dir_ + "/" + name, std::ios::binary);
    for (auto [size, byte] : parts) out << std::string(size, char(byte));
  }
  // Loads one specification into slot 1 and returns the message text shown
  // (empty when none).
  std::string Load(const std::string& spec) {
    testing_support::ScopedDialogs guard(platform::SetDialogs);
    m_->RomFileSpecs = {"", spec, "", ""};
    m_->LoadRoms();
    auto messages = guard.dialogs.Messages();
    EXPECT_LE(messages.size(), 1u);
    if (messages.empty()) return "";
    EXPECT_EQ(messages[0].caption, "OVRIN");
    return messages[0].text;
  }
  uint8_t Slot(size_t i, size_t at = 0) const { return m_->RomSlots[i][at]; }

  std::string base_, dir_;
  std::unique_ptr<TZXHardware> m_;
};

TEST_F(RomFiles, SpecificationsLoadTheirPage) {
  struct Case {
    std::string spec;
    uint8_t first, last;
  } cases[] = {
      {"rom.bin", 0x10, 0x10},
      {"rom.bin,0", 0x10, 0x10},
      {"rom.bin,2", 0x12, 0x12},
      {"rom.bin,1", 0x11, 0x11},
      {"one.rom", 0x20, 0x20},
      {"short.rom,0", 0x30, 0x30},
  };
  for (const Case& c : cases) {
    std::fill(m_->RomSlots[1], m_->RomSlots[1] + TZXHardware::kPageSize, 0xEE);
    EXPECT_EQ(Load(c.spec), "") << c.spec;
    EXPECT_EQ(Slot(1), c.first) << c.spec;
    EXPECT_EQ(Slot(1, 16383), c.last) << c.spec;
  }
  // A name with a directory is used as it is.
  fs::copy_file(dir_ + "/rom.bin", base_ + "/abs.bin");
  EXPECT_EQ(Load(base_ + "/abs.bin,2"), "");
  EXPECT_EQ(Slot(1), 0x12);
}

TEST_F(RomFiles, AShortPageLoadsAsFarAsItGoes) {
  EXPECT_EQ(Load("short.rom,1"), "");
  EXPECT_EQ(Slot(1, 0), 0x31);
  EXPECT_EQ(Slot(1, 99), 0x31);
  EXPECT_EQ(Slot(1, 100), 0xEE);
}

TEST_F(RomFiles, EmptyAndTrailingCommaAreSilentNoOps) {
  for (std::string spec : {"", "rom.bin,", "missing.rom,"}) {
    EXPECT_EQ(Load(spec), "") << spec;
    EXPECT_EQ(Slot(1), 0xEE) << spec;
  }
}

TEST_F(RomFiles, RefusedSlotsAreReportedAndKeepTheirContents) {
  struct Case {
    std::string spec;
    std::string mentions;
  } cases[] = {
      {"missing.rom", "missing.rom"},
      {"rom.bin,x", "rom.bin"},
      {"rom.bin,1x", "rom.bin"},
      {"rom.bin,-1", "rom.bin"},
      {"one.rom,1", "one.rom"},              // starts exactly at the end
      {"rom.bin,3", "rom.bin"},
      {"rom.bin,281474976710656", "rom.bin"},  // 2^48: the offset must not wrap
      {"rom.bin,99999999999999999999", "rom.bin"},
  };
  for (const Case& c : cases) {
    const std::string text = Load(c.spec);
    EXPECT_NE(text.find("BASIC 48K"), std::string::npos) << c.spec << ": " << text;
    EXPECT_NE(text.find(c.mentions), std::string::npos) << c.spec << ": " << text;
    EXPECT_EQ(Slot(1), 0xEE) << c.spec;
  }
}

// Takes from this thread the capabilities that let the superuser read any
// file, so that a file without read permission is unreadable to it too.
// (Capabilities belong to each thread; the effective ones come back.)
class ScopedNoReadOverride {
 public:
  ScopedNoReadOverride() {
    if (syscall(SYS_capget, &header_, saved_) != 0) return;
    __user_cap_data_struct lowered[2] = {saved_[0], saved_[1]};
    lowered[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
    lowered_ = syscall(SYS_capset, &header_, lowered) == 0;
  }
  ~ScopedNoReadOverride() {
    if (lowered_) syscall(SYS_capset, &header_, saved_);
  }

 private:
  __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct saved_[2] = {};
  bool lowered_ = false;
};

TEST_F(RomFiles, EachFailureSaysWhatHappened) {
  Fill("empty.rom", {});
  Fill("locked.rom", {{16384, 0x40}});
  fs::permissions(dir_ + "/locked.rom", fs::perms::none);
  fs::create_directory(dir_ + "/folder.rom");
  struct Case {
    std::string spec;
    std::string line;  // after the slot's name
  } cases[] = {
      {"empty.rom", "file \"" + dir_ + "/empty.rom\" is empty"},
      {"empty.rom,0", "file \"" + dir_ + "/empty.rom\" is empty"},
      {"empty.rom,3", "file \"" + dir_ + "/empty.rom\" is empty"},
      {"locked.rom", "file \"" + dir_ + "/locked.rom\" cannot be read"},
      {"folder.rom", "file \"" + dir_ + "/folder.rom\" cannot be read"},
      {"gone.rom", "file \"" + dir_ + "/gone.rom\" not found"},
      {"one.rom,1", "page 1 lies past the end of file \"" + dir_ + "/one.rom\""},
  };
  ScopedNoReadOverride asAnyUser;
  if (const int fd = ::open((dir_ + "/locked.rom").c_str(), O_RDONLY); fd >= 0) {
    ::close(fd);
    GTEST_SKIP() << "a file without read permission is still readable here";
  }
  for (const Case& c : cases) {
    EXPECT_EQ(Load(c.spec), "ROM not loaded:\nBASIC 48K: " + c.line) << c.spec;
    EXPECT_EQ(Slot(1), 0xEE) << c.spec;
  }
}

TEST_F(RomFiles, OneMessagePerLoadNamingEverySlot) {
  testing_support::ScopedDialogs guard(platform::SetDialogs);
  m_->RomFileSpecs = {"rom.bin,9", "one.rom", "gone.rom", "rom.bin,2"};
  m_->LoadRoms();
  auto messages = guard.dialogs.Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].text.find("BASIC 128K"), std::string::npos);
  EXPECT_NE(messages[0].text.find("EXTENDED"), std::string::npos);
  EXPECT_NE(messages[0].text.find("gone.rom"), std::string::npos);
  EXPECT_EQ(messages[0].text.find("TR-DOS"), std::string::npos);
  EXPECT_EQ(Slot(0), 0xEE);
  EXPECT_EQ(Slot(1), 0x20);
  EXPECT_EQ(Slot(2), 0xEE);
  EXPECT_EQ(Slot(3), 0x12);
}

// ---- timing rules ---------------------------------------------------------

TEST(TimingRules, FirstFailingCheckInOrder) {
  struct Case {
    int64_t f, b, e, l, n, p, c;
    const char* message;  // null: valid
  } cases[] = {
      {71680, 0, 31, 224, 80, 68, 0, nullptr},
      {69888, 0, 31, 224, 64, 0, 0, nullptr},
      {71680, 0, 31, 224, 80, -4, 4, nullptr},
      {71680, 0, 31, 224, 80, 68, -69, "Param Cycle FIX wrong!"},
      {-1, 0, 31, 224, 80, 68, 0, "Error: param < 0!"},
      {71680, 0, -1, 224, 80, 68, 0, "Error: param < 0!"},
      {71680, 0, 31, 224, -80, 68, 0, "Error: param < 0!"},
      {299999 + 80 * 224, 0, 31, 224, 80, 68, 0, nullptr},
      {300000 + 80 * 224, 0, 31, 224, 80, 68, 0, "Error: max frame period >= 300 000!"},
      {71680, 0, 31, 224, 24, 68, 0, "Error: Lines before PAPER < 25!"},
      {71680, 0, 31, 224, 25, 68, 0, nullptr},
      {71680, 0, 71680, 224, 80, 68, 0, "INT out of frame range!"},
      {71680, 71680, 31, 224, 80, 68, 0, "INT out of frame range!"},
      {224 * (80 + 216), 0, 31, 224, 80, 68, 0, nullptr},
      {224 * (80 + 216) - 1, 0, 31, 224, 80, 68, 0, "Frame period < 241!"},
      // A line of no ticks passes the six rules; it is refused last.
      {71680, 0, 31, 0, 80, 68, 0, "Error: Line ticks = 0!"},
      {300000, 0, 31, 0, 80, 68, 0, "Error: max frame period >= 300 000!"},
      {71680, 0, 31, 1, 80, 68, 0, nullptr},
      // Several failing: only the first in order is told.
      {-1, 0, 31, 224, 10, -5, 0, "Param Cycle FIX wrong!"},
      // Products that wrap in 32 bits do not slip past the rules.
      {2000000000, 0, 31, 65536, 65536, 68, 0, "Frame period < 241!"},
  };
  for (const Case& c : cases) {
    auto result = CheckTimingValues(c.f, c.b, c.e, c.l, c.n, c.p, c.c);
    if (c.message) {
      ASSERT_TRUE(result.has_value()) << c.f << " " << c.n << " " << c.l;
      EXPECT_EQ(*result, c.message);
    } else {
      EXPECT_FALSE(result.has_value()) << *result;
    }
  }
}

TEST(TimingRules, PresetsPassAndStoredValuesReadSigned) {
  for (size_t i = 0; i < TimingPreset.size(); ++i)
    EXPECT_FALSE(CheckTimingValues(TimingFromPreset(i))) << TimingPreset[i].Name;
  TTimingValues t = TimingFromPreset(0);
  t.timeHorzScreenBegin = 4294967292u;  // -4 as the dialog stores it
  t.timeCycleFIX = 4;
  EXPECT_FALSE(CheckTimingValues(t));
  t.timeCycleFIX = 3;
  EXPECT_EQ(CheckTimingValues(t).value_or(""), "Param Cycle FIX wrong!");
}

TEST(TimingRules, ApplyTimingStoresOnlyValidSets) {
  auto m = MakeMachine();
  TTimingValues bad = TimingFromPreset(1);
  bad.timeScreenBeginLines = 24;
  EXPECT_EQ(m->ApplyTiming(bad).value_or(""), "Error: Lines before PAPER < 25!");
  EXPECT_EQ(m->Timing, TimingFromPreset(0));
  EXPECT_EQ(m->FirstVisibleTact, 12544u);

  EXPECT_FALSE(m->ApplyTiming(TimingFromPreset(2)));
  EXPECT_EQ(m->Timing, TimingFromPreset(2));
  EXPECT_EQ(m->FirstVisibleTact, 40u * 224u);
  EXPECT_EQ(m->ScreenClassTable.size(), 69888u - 40u * 224u + 1u);
}

}  // namespace
