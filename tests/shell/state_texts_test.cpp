// The state windows' texts for fixed machine states, and the machine
// window's inputs, with the processor stopped.
#include <gtest/gtest.h>

#include <functional>

#include "disk/formats.h"
#include "platform/dialogs.h"
#include "shell/state_monitors.h"
#include "shell/state_texts.h"
#include "state_test_util.h"

namespace {

using state_test::MakeMachine;
using state_test::Query;
using state_test::ScriptedInput;
constexpr TBoxColour kFace = TBoxColour::ButtonFace, kRed = TBoxColour::Red,
                     kGreen = TBoxColour::Green;

TEST(StateTexts, GroupDigits) {
  const std::pair<uint64_t, const char*> cases[] = {
      {0, "0"}, {123, "123"}, {1234, "1 234"}, {1234567, "1 234 567"},
      {UINT64_MAX, "18 446 744 073 709 551 615"}};
  for (const auto& [value, text] : cases) EXPECT_EQ(GroupDigits(value), text);
}

// Machine states made through the machine's own operations, read back the
// way a stopped window reads them.
TEST(StateTexts, MachineWindow) {
  const struct {
    const char* name;
    int32_t model;
    std::function<void(TZXHardware&)> setup;
    std::array<TBoxColour, 4> colours;  // #7FFD, #DFFD, #1FFD, #FDFD
    const char* page;
    const char* screen;
    const char* rom;
    const char* map0;
    const char* mapC000;
  } cases[] = {
      {"pentagon 128", 0, [](TZXHardware& m) { m.WritePort7FFD(0x13); },
       {kFace, kRed, kRed, kRed}, "#03", "seg5", "48K", "ROM seg1", "RAM seg3"},
      {"tr-dos", 0, [](TZXHardware& m) { m.ResetToTrdos(); },
       {kFace, kRed, kRed, kRed}, "#00", "seg5", "TR-DOS", "ROM seg3", "RAM seg0"},
      {"extended page", 1, [](TZXHardware& m) { m.WritePort7FFD(0x4F); },
       {kFace, kRed, kRed, kRed}, "#0F", "seg7", "128K", "ROM seg0", "RAM seg15"},
      {"profi hi-res, RAM at zero", 3, [](TZXHardware& m) { m.WritePortDFFD(0x91); },
       {kFace, kFace, kRed, kRed}, "#08", "seg4 + seg56", "RAM ( seg0 )", "RAM seg0", "RAM seg8"},
      {"scorpion 256 extended ROM", 4, [](TZXHardware& m) { m.WritePort1FFD(0x02); },
       {kFace, kRed, kFace, kRed}, "#00", "seg5", "EXTENDED", "ROM seg2", "RAM seg0"},
      {"scorpion 1024", 5, [](TZXHardware&) {},
       {kFace, kRed, kFace, kRed}, "#00", "seg5", "128K", "ROM seg0", "RAM seg0"},
      {"atm", 6, [](TZXHardware& m) { m.WritePortFDFD(0x02); },
       {kFace, kRed, kRed, kFace}, "#10", "seg5", "128K", "ROM seg0", "RAM seg16"},
      {"48K", 7, [](TZXHardware&) {},
       {kRed, kRed, kRed, kRed}, "#00", "seg5", "48K", "ROM seg1", "RAM seg0"},
      {"extended ROM reset", 0, [](TZXHardware& m) { m.ResetToExtRom(); },
       {kFace, kRed, kRed, kRed}, "#00", "seg5", "EXTENDED", "ROM seg2", "RAM seg0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto m = MakeMachine();
    m->SetMemoryModel(c.model);
    c.setup(*m);
    THardwareStateMonitor monitor(*m);
    ASSERT_TRUE(monitor.Refresh());
    const THardwareStateTexts& t = monitor.Texts();
    EXPECT_EQ(t.LatchColours, c.colours);
    EXPECT_EQ(t.Page, c.page);
    EXPECT_EQ(t.Screen, c.screen);
    EXPECT_EQ(t.Rom, c.rom);
    EXPECT_EQ(t.Map[0], c.map0);
    EXPECT_EQ(t.Map[3], c.mapC000);
  }
}

TEST(StateTexts, MachineWindowFromARecord) {
  TMachineState s;
  s.PortDFFD = 0x80;
  s.Windows = {{{TMemorySource::kRom, 3}, {}, {TMemorySource::kRam, 2}, {TMemorySource::kRom, 0}}};
  s.HiResBitmapPage = 6;  // the attribute page is no RAM page: 0
  s.GlobalTact = 1234567 + 1000;
  const THardwareStateTexts t = HardwareStateTexts(s, 1000);
  EXPECT_EQ(t.Rom, "unk (error)");  // the TR-DOS slot without TR-DOS active
  EXPECT_EQ(t.Screen, "seg6 + seg0");
  EXPECT_EQ(t.Tick, "1 234 567");
  // Windows matching nothing leave their boxes alone.
  const std::array<std::optional<std::string>, 4> map = {"ROM seg3", std::nullopt, "RAM seg2",
                                                         std::nullopt};
  EXPECT_EQ(t.Map, map);
}

// A new window counts from 0; a click restarts the count.
TEST(StateTexts, TickCountsFromTheReference) {
  auto m = MakeMachine();
  m->GlobalTact = 5'000'000;
  THardwareStateMonitor monitor(*m);
  ASSERT_TRUE(monitor.Refresh());
  EXPECT_EQ(monitor.Texts().Tick, "5 000 000");
  monitor.ResetTick();
  m->GlobalTact += 71680;
  ASSERT_TRUE(monitor.Refresh());
  EXPECT_EQ(monitor.Texts().Tick, "71 680");
}

TEST(StateTexts, SoundChipWindow) {
  const struct {
    const char* name;
    bool emulation, mouse;
    const char* r4r5;
    const char* r14;
    const char* r15;
  } cases[] = {
      {"registers", true, false, "#1234", "#0E", "#0F"},
      {"emulation off", false, false, "#FFFF", "#FF", "#FF"},
      {"mouse on register 14", false, true, "#FFFF", "#04", "#FF"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto m = MakeMachine();
    m->SoundChip.AYRegistersEmulation = 1;
    m->SoundChip.AYMouseEmulation = 1;
    const uint8_t writes[][2] = {{4, 0x34}, {5, 0x12}, {14, 0x0E}, {15, 0x0F}, {7, 0x38}};
    for (const auto& w : writes) {
      m->SoundChip.SelectRegister(w[0]);
      m->SoundChip.WriteRegisterValue(w[1]);
    }
    m->SoundChip.AYRegistersEmulation = c.emulation;
    m->SoundChip.AYMouseEmulation = c.mouse;
    AyMouseX = 0x25;  // register 14 (#0E) selects the X axis and masks it
    std::array<std::string, kAyBoxes> texts;
    ASSERT_TRUE(ReadAyStateTexts(*m, texts));
    EXPECT_EQ(texts[2], c.r4r5);
    EXPECT_EQ(texts[10], c.r14);
    EXPECT_EQ(texts[11], c.r15);
    EXPECT_EQ(texts[12], "#07");  // the register selected last
  }
}

TEST(StateTexts, FloppyWindow) {
  constexpr uint64_t turn = disk::T1818VG93::kTurn;
  const struct {
    uint8_t system;
    bool loaded;
    uint64_t now;
    uint8_t flyByte;
    std::array<const char*, 5> drive;  // drive, side, cylinder, mode, motor
    const char* timer;
    const char* angle;
    const char* headPos;
    TBoxColour flyColour;
  } cases[] = {
      {0x3C, false, 5 * turn + 100, 0, {"A:", "0", "7", "FM", "OFF"}, "100", "179 degree", "3125", kFace},
      {0x83, true, 5 * turn + 13999, 0, {"D:", "1", "7", "MFM", "ON"}, "13999", "7 degree", "124", kRed},
      {0x11, true, 2 * turn + 14000, 0x40, {"B:", "0", "7", "FM", "ON"}, "14000", "7 degree", "125", kGreen},
      {0x02, true, turn - 1, 0, {"C:", "1", "7", "FM", "ON"}, "699999", "359 degree", "6249", kFace},
      {0x00, false, 3 * turn + 5, 0x40, {"A:", "1", "7", "FM", "OFF"}, "5", "179 degree", "3125", kGreen},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(int(c.system));
    disk::T1818VG93::TStateReading r;
    r.Now = c.now;
    r.SystemRegister = c.system;
    r.HeadLoaded = c.loaded;
    r.SelectedCylinder = 7;
    r.DisplayByte = c.flyByte;
    const TFloppyStateTexts t = FloppyStateTexts(r);
    EXPECT_EQ(t.Texts[kFloppyDrive], c.drive[0]);
    EXPECT_EQ(t.Texts[kFloppySide], c.drive[1]);
    EXPECT_EQ(t.Texts[kFloppyCylinder], c.drive[2]);
    EXPECT_EQ(t.Texts[kFloppyMode], c.drive[3]);
    EXPECT_EQ(t.Texts[kFloppyMotor], c.drive[4]);
    EXPECT_EQ(t.Texts[kFloppyTimer], c.timer);
    EXPECT_EQ(t.Texts[kFloppyAngle], c.angle);
    EXPECT_EQ(t.Texts[kFloppyHeadPos], c.headPos);
    EXPECT_EQ(t.FlyByteColour, c.flyColour);
  }
}

// The window's reads are real register reads, made at the machine's time
// but never before the latest port access.
TEST(StateTexts, FloppyWindowReadsTheController) {
  uint64_t clock = 1'000'000;
  disk::T1818VG93 vg([&] { return clock; });
  vg.WriteRegister(0xFF, 0x3C);
  vg.WriteRegister(0x1F, 0x08);  // restore, loading the head
  // A copy of the machine's state from before that command: the head stays
  // loaded and the restore is still running.
  disk::T1818VG93::TStateReading r = vg.ReadForStateWindow(clock - 50'000);
  EXPECT_EQ(r.Now, clock);
  EXPECT_TRUE(r.HeadLoaded);
  EXPECT_EQ(r.Status & 0x01, 0x01);  // busy
  EXPECT_EQ(FloppyStateTexts(r).Texts[kFloppyMotor], "ON");
  // Later, the window's status read ends the command although the program
  // never polled; the program's next read sees it ended.
  r = vg.ReadForStateWindow(clock + 100'000);
  EXPECT_EQ(r.Status & 0x01, 0);
  EXPECT_EQ(r.RequestLines & disk::T1818VG93::kIntrq, disk::T1818VG93::kIntrq);
  clock += 100'001;
  EXPECT_EQ(vg.ReadRegister(0x1F) & 0x01, 0);
  // Long after the last command the head unloads.
  r = vg.ReadForStateWindow(clock + disk::T1818VG93::kHeadUnload + 1);
  const TFloppyStateTexts t = FloppyStateTexts(r);
  EXPECT_EQ(t.Texts[kFloppyMotor], "OFF");
  EXPECT_EQ(t.Texts[kFloppyAngle], "179 degree");
  EXPECT_EQ(t.Texts[kFloppyHeadPos], "3125");
}

TEST(StateInputs, FrameTickEntries) {
  const struct {
    const char* entry;
    uint32_t frameLength;
    std::variant<uint32_t, std::string> verdict;
  } cases[] = {
      {"71679", 71680, 71679u},
      {"0", 71680, 0u},
      {" $100", 71680, 256u},
      {"71680", 71680, "The specified tick is out of count module (71680)!"},
      {"-1", 71680, "The specified tick is out of count module (71680)!"},
      {"abc", 71680, "It is required to enter number!"},
      {"#10", 71680, "It is required to enter number!"},
      {"12 ", 71680, "It is required to enter number!"},
  };
  for (const auto& c : cases) EXPECT_EQ(CheckFrameTickEntry(c.entry, c.frameLength), c.verdict) << c.entry;
}

TEST(StateInputs, FrameTickAndLatchQuestions) {
  ScriptedInput dialogs;
  platform::Dialogs* previous = platform::SetDialogs(&dialogs);
  auto m = MakeMachine();
  m->FrameTact = 1234;
  THardwareStateMonitor monitor(*m);

  // Refused entries are reported and asked again; the valid one is set.
  dialogs.entries = {"abc", "71680", "71679"};
  EXPECT_TRUE(monitor.InputFrameTick());
  EXPECT_EQ(m->FrameTact, 71679u);
  ASSERT_EQ(dialogs.queries.size(), 3u);
  // Each question proposes the current tick, not the entry it refused.
  for (const Query& q : dialogs.queries) EXPECT_EQ(q.proposed, "1234");
  ASSERT_EQ(dialogs.Count(), 2u);
  EXPECT_EQ(dialogs.Messages()[1].text, "The specified tick is out of count module (71680)!");
  dialogs.entries = {std::nullopt};  // Cancel
  EXPECT_FALSE(monitor.InputFrameTick());
  EXPECT_EQ(m->FrameTact, 71679u);

  // The model's latch writer applies the value; a latch the model lacks
  // stays as it was.
  dialogs.queries.clear();
  dialogs.entries = {"#17", "#05"};
  EXPECT_TRUE(monitor.InputLatch(kLatch7FFD));
  EXPECT_TRUE(monitor.InputLatch(kLatch1FFD));
  EXPECT_EQ(m->Port7FFD, 0x17);
  EXPECT_EQ(m->Port1FFD, 0x00);
  EXPECT_EQ(dialogs.queries[0].proposed, "#00");
  EXPECT_EQ(dialogs.queries[1].caption, "Port #1FFD change");
  EXPECT_EQ(dialogs.queries[1].prompt, "Enter new value");
  platform::SetDialogs(previous);
}

}  // namespace
