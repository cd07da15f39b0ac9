// Loading and saving snapshots through the machine: the writer's round
// trips, the page at #C000, messages, and refused files leaving the machine
// as it was.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "machine/snapshot_loader.h"
#include "platform/files.h"
#include "snapshot/snapshot_files.h"
#include "support/recording_dialogs.h"

namespace {

namespace fs = std::filesystem;
using snapfiles::Bytes;
using Dialogs = testing_support::ScopedDialogs<decltype(&platform::SetDialogs)>;

std::unique_ptr<TZXHardware> MakeMachine(int model) {
  TAYHardware::SetPluginPathForTesting("/nonexistent/libkelvora.so");
  auto m = std::make_unique<TZXHardware>();
  m->SetMemoryModel(model);
  m->SoundChip.AYRegistersEmulation = 1;
  m->SoundChip.AYMouseEmulation = 0;
  return m;
}

class TempDir {
 public:
  TempDir() {
    path_ = fs::temp_directory_path() /
            ("ovrin_snap_" + std::to_string(::getpid()) + "_" + std::to_string(counter_++));
    fs::create_directories(path_);
  }
  ~TempDir() { fs::remove_all(path_); }
  std::string File(const std::string& name) const { return (path_ / name).string(); }
  std::string Write(const std::string& name, const Bytes& data) const {
    std::ofstream(File(name), std::ios::binary)
        .write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    return File(name);
  }

 private:
  fs::path path_;
  static inline int counter_ = 0;
};

Bytes ReadFile(const std::string& path) { return platform::ReadWholeFile(path).value_or(Bytes{}); }

// Everything a load may change, for comparing before and after.
struct MachineState {
  std::vector<uint8_t> memory;
  std::vector<uint16_t> regs;
  std::vector<uint32_t> rest;
  bool operator==(const MachineState&) const = default;
};

MachineState Capture(TZXHardware& m) {
  MachineState s;
  s.memory.assign(&m.RamPages[0][0], &m.RamPages[0][0] + sizeof m.RamPages);
  s.memory.insert(s.memory.end(), &m.RomSlots[0][0], &m.RomSlots[0][0] + sizeof m.RomSlots);
  const TZ80State& c = m.Cpu();
  s.regs = {c.PC, c.SP, c.IR, c.AF, c.HL, c.DE, c.BC, c._AF, c._HL, c._DE, c._BC, c.IX, c.IY};
  s.rest = {c.Req.IFF1, c.Req.IFF2, c.Req.IM, c.Req.Halted, m.Port7FFD, m.PortDFFD, m.Port1FFD,
            m.PortFDFD, m.BorderLatch, m.TrdosActive, m.ExtendedPage, m.SoundChip.SelectedRegister};
  for (int r = 0; r < 16; ++r) s.rest.push_back(m.SoundChip.AYRegisters[r]);
  return s;
}

void Scramble(TZXHardware& m, uint32_t seed) {
  std::mt19937 rng(seed);
  // Runs of random length with plenty of ED bytes: the writer codes it.
  for (auto& page : m.RamPages) {
    for (size_t i = 0; i < sizeof page;) {
      const uint8_t v = (rng() % 5 == 0) ? 0xED : static_cast<uint8_t>(rng());
      for (size_t n = 1 + rng() % 9; n > 0 && i < sizeof page; --n) page[i++] = v;
    }
  }
  TZ80State& c = m.Cpu();
  for (uint16_t* r : {&c.PC, &c.SP, &c.IR, &c.AF, &c.HL, &c.DE, &c.BC, &c._AF, &c._HL, &c._DE,
                      &c._BC, &c.IX, &c.IY})
    *r = static_cast<uint16_t>(rng());
  m.BorderLatch = 3;
  for (int r = 0; r < 16; ++r) {
    m.SoundChip.SelectRegister(static_cast<uint8_t>(r));
    m.SoundChip.WriteRegisterValue(static_cast<uint8_t>(rng()));
  }
}

// ---------------------------------------------------------------------------
// Round trips through the writer
// ---------------------------------------------------------------------------

struct RoundTrip {
  const char* name;
  int model;
  uint8_t port7ffd;
  uint16_t pc;
  int version;  // what the file must be
};

class WriterRoundTrip : public testing::TestWithParam<RoundTrip> {};

TEST_P(WriterRoundTrip, ReloadGivesTheSavedState) {
  const RoundTrip& c = GetParam();
  Dialogs dialogs(platform::SetDialogs);
  TempDir dir;
  auto m = MakeMachine(c.model);
  Scramble(*m, 1);
  m->WritePort7FFD(c.port7ffd);
  TZ80State& cpu = m->Cpu();
  cpu.PC = c.pc;
  cpu.Req.IFF1 = 1;
  cpu.Req.IFF2 = 0;
  cpu.Req.IM = 2;
  m->BorderLatch = 4;
  m->SoundChip.SelectRegister(9);
  const MachineState saved = Capture(*m);
  const uint8_t* c000 = m->WindowC000();

  ASSERT_TRUE(SaveSnapshot(*m, dir.File("state"), ".z80"));  // extension added
  const Bytes file = ReadFile(dir.File("state.z80"));
  EXPECT_EQ(m->SoundChip.SelectedRegister, 9u);  // selection restored
  EXPECT_EQ(dialogs.dialogs.Count(), 0u);

  // The scanner shares no code with the library.
  auto scan = snapfiles::ScanZ80(file);
  ASSERT_TRUE(scan);
  EXPECT_EQ(scan->version, c.version);
  EXPECT_EQ(scan->pc, c.pc);
  EXPECT_EQ(scan->flags, 0x20 | (4 << 1) | (saved.regs[2] >> 7 & 1));
  if (c.version == 1) {
    EXPECT_TRUE(scan->end_marker);
  }
  const bool is48 = (c.port7ffd & 0x30) == 0x30;
  if (is48) {
    EXPECT_EQ(scan->pages[8], Bytes(m->RamPages[5], m->RamPages[5] + 16384));
    EXPECT_EQ(scan->pages[4], Bytes(m->RamPages[2], m->RamPages[2] + 16384));
    EXPECT_EQ(scan->pages[5], Bytes(c000, c000 + 16384));
  } else {
    EXPECT_EQ(scan->mode, 3);
    EXPECT_EQ(scan->port7ffd, c.port7ffd);
    for (int p = 0; p < 8; ++p)
      EXPECT_EQ(scan->pages[p + 3], Bytes(m->RamPages[p], m->RamPages[p] + 16384));
  }
  if (c.version == 2) {
    for (int r = 0; r < 16; ++r) EXPECT_EQ(scan->ay[r], m->SoundChip.AYRegisters[r]) << r;
  }

  Scramble(*m, 2);
  if (c.model != 7) m->WritePort7FFD(0x07);
  ASSERT_TRUE(LoadSnapshot(*m, dir.File("state.z80")));
  EXPECT_EQ(dialogs.dialogs.Count(), 0u);
  MachineState loaded = Capture(*m);
  EXPECT_EQ(loaded.regs, saved.regs);
  EXPECT_EQ(cpu.Req.IFF1, 1);
  EXPECT_EQ(cpu.Req.IFF2, 0);
  EXPECT_EQ(cpu.Req.IM, 2u);
  EXPECT_EQ(m->BorderLatch, 4);
  EXPECT_EQ(m->Port7FFD, saved.rest[4]);
  if (is48) {
    EXPECT_EQ(m->WindowC000(), c000);
    EXPECT_TRUE(std::equal(saved.memory.begin() + 5 * 16384, saved.memory.begin() + 6 * 16384,
                           m->RamPages[5]));
    EXPECT_TRUE(std::equal(saved.memory.begin() + 2 * 16384, saved.memory.begin() + 3 * 16384,
                           m->RamPages[2]));
    const size_t at = static_cast<size_t>(c000 - &m->RamPages[0][0]);
    EXPECT_TRUE(std::equal(saved.memory.begin() + at, saved.memory.begin() + at + 16384, c000));
  } else {
    EXPECT_TRUE(std::equal(saved.memory.begin(), saved.memory.begin() + 8 * 16384,
                           &m->RamPages[0][0]));
  }
  if (c.version == 2) {
    for (int r = 0; r < 16; ++r) EXPECT_EQ(m->SoundChip.AYRegisters[r], saved.rest[12 + r]) << r;
  }
}

// The case's name, not its bytes, wherever GoogleTest prints the value.
void PrintTo(const RoundTrip& c, std::ostream* os) { *os << c.name; }
INSTANTIATE_TEST_SUITE_P(
    Snapshots, WriterRoundTrip,
    testing::Values(RoundTrip{"State48K", 0, 0x30, 0x8123, 1},
                    RoundTrip{"State48KAtPc0", 0, 0x30, 0, 2},
                    RoundTrip{"State128K", 0, 0x13, 0x8123, 2},
                    RoundTrip{"State128KAtPc0", 0, 0x1E, 0, 2},
                    RoundTrip{"Model48K", 7, 0x30, 0x6000, 1},
                    // Pentagon 1024 reads #7FFD bit 5 as a page bit: the 48K
                    // state's #C000 page is page 32, in the file and back.
                    RoundTrip{"Pentagon1024State48K", 2, 0x30, 0x6000, 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SnapshotSave, AsksBeforeReplacingAndKeepsTheFileOnFailure) {
  Dialogs dialogs(platform::SetDialogs);
  TempDir dir;
  auto m = MakeMachine(0);
  const std::string path = dir.Write("old.z80", {1, 2, 3});

  dialogs.dialogs.Script({platform::MsgResult::Cancel});
  EXPECT_FALSE(SaveSnapshot(*m, path, ".z80"));
  ASSERT_EQ(dialogs.dialogs.Count(), 1u);
  auto ask = dialogs.dialogs.Messages()[0];
  EXPECT_EQ(ask.caption, "Warning");
  EXPECT_EQ(ask.text, "File exists!   Overwrite?");
  EXPECT_EQ(ask.buttons, platform::MsgButtons::OkCancel);
  EXPECT_EQ(ask.default_button, platform::MsgResult::Cancel);
  EXPECT_EQ(ReadFile(path), (Bytes{1, 2, 3}));

  dialogs.dialogs.Clear();
  auto previous = platform::SetFileWriterForTesting(
      [](const std::string&, const void*, size_t) { return false; });
  EXPECT_FALSE(SaveSnapshot(*m, path, ".z80"));
  platform::SetFileWriterForTesting(previous);
  ASSERT_EQ(dialogs.dialogs.Count(), 2u);
  EXPECT_NE(dialogs.dialogs.Messages()[1].text.find("File write error!"), std::string::npos);
  EXPECT_EQ(ReadFile(path), (Bytes{1, 2, 3}));
}

TEST(SnapshotFiles, ExtensionsAndMissingFiles) {
  Dialogs dialogs(platform::SetDialogs);
  TempDir dir;
  auto m = MakeMachine(0);
  const MachineState before = Capture(*m);
  struct Case {
    std::string name, caption, text;
    platform::MsgIcon icon;
  } cases[] = {
      {"game.txt", "OVRIN", "Unsupported file format: .TXT !", platform::MsgIcon::None},
      {"missing.Z80", "OVRIN", "File open error!", platform::MsgIcon::None},
      {"missing.sna", "OVRIN", "File open error!", platform::MsgIcon::None},
      {"missing.zx", "ZX loader", "File open error!", platform::MsgIcon::Warning},
      {"missing.sp", "SP loader", "File open error!", platform::MsgIcon::Warning},
      {"missing.sit", "SIT loader", "File open error!", platform::MsgIcon::Warning},
  };
  for (const auto& c : cases) {
    dialogs.dialogs.Clear();
    EXPECT_FALSE(LoadSnapshot(*m, dir.File(c.name)));
    ASSERT_EQ(dialogs.dialogs.Count(), 1u) << c.name;
    auto msg = dialogs.dialogs.Messages()[0];
    EXPECT_EQ(msg.caption, c.caption) << c.name;
    EXPECT_EQ(msg.text, c.text) << c.name;
    EXPECT_EQ(msg.icon, c.icon) << c.name;
  }
  EXPECT_TRUE(Capture(*m) == before);

  dialogs.dialogs.Clear();
  EXPECT_FALSE(SaveSnapshot(*m, dir.File("x.sna"), ".z80"));
  EXPECT_EQ(dialogs.dialogs.Messages().at(0).text, "Unsupported save for .SNA !");
}

// ---------------------------------------------------------------------------
// Readers on the machine
// ---------------------------------------------------------------------------

TEST(SnapshotLoad, Sna48KPopsPcFromTheLoadedStack) {
  Dialogs dialogs(platform::SetDialogs);
  TempDir dir;
  for (int model : {0, 2, 7}) {
    auto m = MakeMachine(model);
    snapfiles::Regs r;
    r.SP = 0x8100;  // page 2, offset #100
    Bytes f = snapfiles::Sna(r, std::nullopt);
    f[27 + 16384 + 0x100] = 0x34;
    f[27 + 16384 + 0x101] = 0x12;
    ASSERT_TRUE(LoadSnapshot(*m, dir.Write("s.sna", f)));
    EXPECT_EQ(m->Cpu().PC, 0x1234);
    EXPECT_EQ(m->Cpu().SP, 0x8102);
    EXPECT_EQ(m->Read(0xC000), snapfiles::Pattern(0)[0]) << model;
    EXPECT_EQ(m->Read(0x4000), snapfiles::Pattern(5)[0]);
  }
}

TEST(SnapshotLoad, Sna128KPagesAndTrdos) {
  Dialogs dialogs(platform::SetDialogs);
  TempDir dir;
  auto m = MakeMachine(0);
  ASSERT_TRUE(LoadSnapshot(*m, dir.Write("s.sna", snapfiles::Sna({}, 0x15, 1))));
  EXPECT_EQ(m->Port7FFD, 0x15);
  EXPECT_EQ(m->TrdosActive, 1);
  EXPECT_EQ(m->WindowC000(), m->RamPages[5]);
  for (int p = 0; p < 8; ++p) EXPECT_EQ(Bytes(m->RamPages[p], m->RamPages[p] + 16384), snapfiles::Pattern(p));
}

TEST(SnapshotLoad, SpBlockIntoRomShowsItsNotice) {
  Dialogs dialogs(platform::SetDialogs);
  TempDir dir;
  auto m = MakeMachine(0);
  m->RamPages[5][8] = 0x77;
  Bytes f(38, 0);
  f[0] = 'S';
  f[1] = 'P';
  snapfiles::Put16(f, 2, 16);
  snapfiles::Put16(f, 4, 0x3FF8);
  f.insert(f.end(), 16, 0xAB);
  ASSERT_TRUE(LoadSnapshot(*m, dir.Write("s.sp", f)));
  auto msgs = dialogs.dialogs.Messages();
  ASSERT_EQ(msgs.size(), 1u);
  EXPECT_EQ(msgs[0].caption, "SP loader");
  EXPECT_EQ(msgs[0].text, "ROM 48K loaded from snapshot!");
  EXPECT_EQ(msgs[0].icon, platform::MsgIcon::Information);
  EXPECT_EQ(m->Rom48Slot[0x3FF8], 0xAB);
  EXPECT_EQ(m->RamPages[5][7], 0xAB);
  EXPECT_EQ(m->RamPages[5][8], 0x77);  // outside the block: kept
}

TEST(SnapshotLoad, Z80NoticesInOrder) {
  Dialogs dialogs(platform::SetDialogs);
  TempDir dir;
  auto m = MakeMachine(0);
  Bytes f = snapfiles::Z80Version23({}, 2, 2, 0, snapfiles::Blocks({0, 8, 4, 5}), 255);
  ASSERT_TRUE(LoadSnapshot(*m, dir.Write("s.z80", f)));
  std::vector<std::string> texts;
  for (const auto& msg : dialogs.dialogs.Messages()) {
    texts.push_back(msg.text);
    EXPECT_EQ(msg.caption, "OVRIN");
  }
  EXPECT_EQ(texts, (std::vector<std::string>{
                       "Предупреждение: Interface I не поддерживается, но требуется его ПЗУ!",
                       "Warning: SamRam not supported!", "ROM 48K loaded from snapshot!"}));
  EXPECT_EQ(Bytes(m->Rom48Slot, m->Rom48Slot + 16384), snapfiles::Pattern(0));
}

// A refused file of any format leaves every byte of the machine as it was.
TEST(SnapshotLoad, RefusedFilesChangeNothing) {
  Dialogs dialogs(platform::SetDialogs);
  TempDir dir;
  auto m = MakeMachine(0);
  Scramble(*m, 5);
  snapfiles::Regs r;
  struct Valid {
    std::string name;
    Bytes file;
  } valid[] = {
      {"a.z80", snapfiles::Z80Version23(r, 3, 4, 0x11, snapfiles::Blocks({3, 4, 5, 6, 7, 8, 9, 10}))},
      {"b.z80", snapfiles::Z80Version1(r, true)},
      {"c.sna", snapfiles::Sna(r, 0x13)},
      {"d.sit", Bytes(65564, 1)},
      {"e.zx", Bytes(49486, 2)},
      {"f.sp", [] {
         Bytes f(38 + 1000, 3);
         f[0] = 'S', f[1] = 'P';
         snapfiles::Put16(f, 2, 1000);
         snapfiles::Put16(f, 4, 0x9000);
         return f;
       }()},
  };
  std::mt19937 rng(11);
  for (const auto& v : valid) {
    for (int i = 0; i < 12; ++i) {
      Bytes bad = v.file;
      if (i < 6) {
        bad.resize(bad.size() * static_cast<size_t>(i) / 6 + static_cast<size_t>(i));
      } else {
        for (int k = 0; k < 4; ++k) bad[rng() % std::min<size_t>(bad.size(), 64)] = static_cast<uint8_t>(rng());
      }
      const MachineState before = Capture(*m);
      dialogs.dialogs.Clear();
      if (LoadSnapshot(*m, dir.Write(v.name, bad))) {
        Scramble(*m, static_cast<uint32_t>(i));
        continue;
      }
      EXPECT_EQ(dialogs.dialogs.Count(), 1u) << v.name << " " << i;
      EXPECT_TRUE(Capture(*m) == before) << v.name << " " << i;
    }
  }
}

}  // namespace
