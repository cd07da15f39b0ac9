// Tapes played into the free 48K BASIC: LOAD "" is typed on the keyboard
// rows, the ROM loads a generated program either through the trap or by
// timing the wave's edges itself, and the program's autostart line runs.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "machine/hardware.h"
#include "machine/tape_deck.h"
#include "platform/files.h"
#include "support/recording_dialogs.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using Dialogs = testing_support::ScopedDialogs<decltype(&platform::SetDialogs)>;

const char* kRom = "/usr/share/spectrum-roms/opense.rom";

// A key on the matrix: KeyboardRows index (0 = A15 ... 7 = A8) and bit.
struct Key {
  int row;
  uint8_t bit;
};
constexpr Key kL{1, 0x02}, kO{2, 0x02}, kA{6, 0x01}, kD{6, 0x04}, kSpace{0, 0x01},
    kSymbol{0, 0x02}, kP{2, 0x01}, kEnter{1, 0x01};

// Presses each chord for a few frames, then releases it for as many.
struct Typist : IInputDevices {
  std::vector<std::vector<Key>> chords;
  size_t index = 0;
  int frame = 0;
  static constexpr int kHold = 5;
  void PollKeyboard(TZXHardware& m) override {
    for (auto& r : m.KeyboardRows) r = 0xFF;
    if (index >= chords.size()) return;
    if (frame < kHold)
      for (const Key& k : chords[index]) m.KeyboardRows[k.row] &= static_cast<uint8_t>(~k.bit);
    if (++frame == 2 * kHold) frame = 0, ++index;
  }
  bool Done() const { return index >= chords.size(); }
};

struct CountingDeck : TTapeDeck {
  int taken = 0;
  void TapeTrapLoad(TZXHardware& m) override {
    TTapeDeck::TapeTrapLoad(m);
    if (m.Cpu().PC == 0x05DF) ++taken;
  }
};

Bytes Block(uint8_t flag, const Bytes& data) {
  Bytes b(data.size() + 1);
  b[0] = flag;
  std::copy(data.begin(), data.end(), b.begin() + 1);
  uint8_t x = 0;
  for (uint8_t v : b) x ^= v;
  b.push_back(x);
  return b;
}

// 10 POKE 40000,123 with its autostart header, as the ROM saves it.
std::vector<Bytes> ProgramBlocks() {
  Bytes body = {0xF4, '4', '0', '0', '0', '0', 0x0E, 0, 0, 0x40, 0x9C, 0,
                ',',  '1', '2', '3', 0x0E, 0, 0, 123, 0, 0, 0x0D};
  Bytes program = {0x00, 0x0A, static_cast<uint8_t>(body.size()), 0};
  program.insert(program.end(), body.begin(), body.end());
  Bytes header = {0x00, 't', 'e', 's', 't', ' ', ' ', ' ', ' ', ' ', ' '};
  const uint16_t len = static_cast<uint16_t>(program.size());
  header.insert(header.end(), {static_cast<uint8_t>(len), static_cast<uint8_t>(len >> 8), 10, 0,
                               static_cast<uint8_t>(len), static_cast<uint8_t>(len >> 8)});
  return {Block(0x00, header), Block(0xFF, program)};
}

Bytes Tap(const std::vector<Bytes>& blocks) {
  Bytes f;
  for (const auto& b : blocks) {
    f.push_back(static_cast<uint8_t>(b.size()));
    f.push_back(static_cast<uint8_t>(b.size() >> 8));
    f.insert(f.end(), b.begin(), b.end());
  }
  return f;
}

// Data, pause and text blocks, and an unsupported one when asked.
Bytes Tzx(const std::vector<Bytes>& blocks, bool unsupported = false) {
  Bytes f = {'Z', 'X', 'T', 'a', 'p', 'e', '!', 0x1A, 1, 20};
  f.insert(f.end(), {0x30, 4, 't', 'e', 'x', 't'});
  for (const auto& b : blocks) {
    f.insert(f.end(), {0x10, 0xE8, 0x03, static_cast<uint8_t>(b.size()),
                       static_cast<uint8_t>(b.size() >> 8)});
    f.insert(f.end(), b.begin(), b.end());
    f.insert(f.end(), {0x20, 0xF4, 0x01});
  }
  if (unsupported) f.insert(f.end(), {0x12, 0x78, 0x08, 0x10, 0x00});
  return f;
}

class TapeLoad : public testing::Test {
 protected:
  void SetUp() override {
    if (!platform::FileExists(kRom)) GTEST_SKIP() << "the free ROM is not installed";
    dir_ = fs::temp_directory_path() / ("ovrin_tape_" + std::to_string(::getpid()));
    fs::create_directories(dir_);
    TAYHardware::SetPluginPathForTesting("/nonexistent/libkelvora.so");
    m_ = std::make_unique<TZXHardware>();
    m_->RomFileSpecs[1] = kRom;
    m_->LoadRoms();
    m_->SetMemoryModel(7);
    m_->Limit50Hz = 0;
    m_->SetInputDevices(&typist_);
    m_->ResetTo48Rom();
    Run(250);  // boot
  }
  void TearDown() override {
    if (m_) m_->SetInputDevices(nullptr);
    if (!dir_.empty()) fs::remove_all(dir_);
  }
  std::string Write(const std::string& name, const Bytes& data) {
    const std::string path = (dir_ / name).string();
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    return path;
  }
  void Run(int frames) {
    const uint64_t end = m_->GlobalTact + uint64_t(frames) * m_->Timing.timeLoopTime;
    while (m_->GlobalTact < end) ASSERT_EQ(m_->StepCpu(), Z80_OK);
  }
  // Types LOAD "" and runs until the program has poked its mark, or gives up.
  int LoadAndRun(int maxFrames) {
    m_->Write(40000, 0);
    typist_.chords = {{kL}, {kO}, {kA}, {kD}, {kSpace}, {kSymbol, kP}, {kSymbol, kP}, {kEnter}};
    typist_.index = 0;
    typist_.frame = 0;
    for (int f = 0; f < maxFrames; f += 10) {
      Run(10);
      if (typist_.Done() && m_->Read(40000) == 123) return f;
    }
    return -1;
  }

  fs::path dir_;
  std::unique_ptr<TZXHardware> m_;
  Typist typist_;
  CountingDeck deck_;
  Dialogs dialogs_{platform::SetDialogs};
};

struct LoadCase {
  const char* name;
  bool tzx;
  bool trap;
};

class TapeLoadCase : public TapeLoad, public testing::WithParamInterface<LoadCase> {};

TEST_P(TapeLoadCase, LoadsAndRunsTheProgram) {
  const LoadCase& c = GetParam();
  const Bytes file = c.tzx ? Tzx(ProgramBlocks()) : Tap(ProgramBlocks());
  ASSERT_TRUE(deck_.OpenTapeFile(*m_, Write(c.tzx ? "p.tzx" : "p.tap", file)));
  EXPECT_EQ(deck_.Player().BlockCount(), 2u);
  m_->TapeEmulationEnabled = 1;
  m_->TapeTrapsEnabled = c.trap ? 1 : 0;
  // Through the wave: two pauses before the first block, one between.
  const int frames = LoadAndRun(c.trap ? 300 : 1500);
  ASSERT_GE(frames, 0) << "the program did not run";
  RecordProperty("frames", frames);
  EXPECT_EQ(deck_.taken, c.trap ? 2 : 0);
  EXPECT_EQ(dialogs_.dialogs.Count(), 0u);
}

// The case's name, not its bytes, wherever GoogleTest prints the value.
void PrintTo(const LoadCase& c, std::ostream* os) { *os << c.name; }
INSTANTIATE_TEST_SUITE_P(Tapes, TapeLoadCase,
                         testing::Values(LoadCase{"TapWithTrap", false, true},
                                         LoadCase{"TapThroughTheWave", false, false},
                                         LoadCase{"TzxWithTrap", true, true},
                                         LoadCase{"TzxThroughTheWave", true, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(TapeLoad, UnsupportedTzxIsRefusedAndTheTapeStays) {
  ASSERT_TRUE(deck_.OpenTapeFile(*m_, Write("p.tap", Tap(ProgramBlocks()))));
  EXPECT_FALSE(deck_.OpenTapeFile(*m_, Write("bad.tzx", Tzx({{1, 2, 3}}, true))));
  ASSERT_EQ(dialogs_.dialogs.Count(), 1u);
  EXPECT_EQ(dialogs_.dialogs.Messages()[0].text, "Unsupported TZX block: #12 (offset 27) !");
  EXPECT_FALSE(deck_.OpenTapeFile(*m_, Write("empty.tap", {})));
  EXPECT_FALSE(deck_.OpenTapeFile(*m_, (dir_ / "missing.tap").string()));
  EXPECT_EQ(dialogs_.dialogs.Count(), 3u);

  m_->TapeEmulationEnabled = 1;
  m_->TapeTrapsEnabled = 1;
  EXPECT_GE(LoadAndRun(300), 0) << "the first tape no longer loads";
  EXPECT_EQ(deck_.taken, 2);
}

}  // namespace
