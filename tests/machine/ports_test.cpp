// Port decoding per memory model, and the CMOS clock.
#include "machine_test_util.h"

using namespace machine_test;

namespace {

constexpr uint8_t kIdle = 0x77;      // the idle bus byte, made recognisable
constexpr uint8_t kJoystick = 0x15;  // right, down, fire
constexpr uint8_t kAyValue = 0x5A;

// A machine of the given model with distinct input bytes, a recording disk
// controller, an AY register 3 holding kAyValue and selected.
struct PortRig {
  std::unique_ptr<TZXHardware> m = MakeMachine();
  RecordingBetaDisk disk;
  explicit PortRig(int model) {
    m->SetMemoryModel(model);
    m->SetBetaDiskPorts(&disk);
    m->Cpu().Req.IntVector.store(kIdle);
    for (int i = 0; i < 8; ++i) m->KeyboardRows[i] = uint8_t(0xFF & ~(1 << (i % 5)));
    m->KempstonJoystick = kJoystick;
    m->KempstonMouseButtons = 0xFD;
    m->KempstonMouseX = 0x12;
    m->KempstonMouseY = 0x34;
    m->SoundChip.AYRegistersEmulation = 1;
    m->SoundChip.SelectRegister(3);
    m->SoundChip.WriteRegisterValue(kAyValue);
  }
};

enum Setup { kNone, kTrdos, kExtRomPaged, kExtRomActive, kProfiPorts48, kProfiPorts128 };

struct ReadCase {
  const char* name;
  int model;
  Setup setup;
  uint16_t port;
  int expected;  // a byte, or a disk register's answer via Disk()
};

constexpr int Disk(uint8_t reg) { return 0x100 | reg; }

void ApplySetup(TZXHardware& m, Setup s) {
  switch (s) {
    case kNone: break;
    case kTrdos: m.TrdosActive = 1; break;
    case kExtRomPaged: m.WritePort1FFD(0x02); break;
    case kExtRomActive: m.ExtRomActive = 1; break;
    case kProfiPorts48: m.WritePort7FFD(0x10); m.WritePortDFFD(0x20); break;
    case kProfiPorts128: m.WritePort7FFD(0x00); m.WritePortDFFD(0x20); break;
  }
}

const ReadCase kReadCases[] = {
    // The ULA answers wherever A0 is low; each low line of A15-A8 adds a half-row.
    {"p128_row_A15", 0, kNone, 0x7FFE, 0xFE},
    {"p128_row_A8", 0, kNone, 0xFEFE, 0xFB},
    {"p128_all_rows", 0, kNone, 0x00FE, 0xE0},
    {"p128_odd_ula_address", 0, kNone, 0x7F00, 0xFE},
    {"48k_row_A14", 7, kNone, 0xBFFE, 0xFD},
    {"p128_kempston", 0, kNone, 0x001F, kJoystick},
    {"p128_kempston_any_high_byte", 0, kNone, 0xAB1F, kJoystick},
    {"p128_trdos_status", 0, kTrdos, 0x001F, Disk(0x1F)},
    {"p128_trdos_track", 0, kTrdos, 0x003F, Disk(0x3F)},
    {"p128_trdos_sector", 0, kTrdos, 0x005F, Disk(0x5F)},
    {"p128_trdos_data", 0, kTrdos, 0x007F, Disk(0x7F)},
    {"p128_trdos_system", 0, kTrdos, 0x00FF, Disk(0xFF)},
    {"p128_trdos_partial_decode", 0, kTrdos, 0x123B, Disk(0x3F)},
    {"p128_trdos_keyboard_stays", 0, kTrdos, 0x7FFE, 0xFE},
    {"p128_unanswered", 0, kNone, 0x00FD, kIdle},
    {"atm_kempston", 6, kNone, 0x001F, kJoystick},
    {"48k_trdos_status", 7, kTrdos, 0x001F, Disk(0x1F)},
    // The Scorpion's ULA looks at A5, A2, A1 and A0 (#26 of #27).
    {"scorpion_keyboard_FE", 4, kNone, 0x7FFE, 0xFE},
    {"scorpion_no_keyboard_DE", 4, kNone, 0x7FDE, kIdle},
    {"scorpion_kempston", 5, kNone, 0x001F, kJoystick},
    {"scorpion_extrom_opens_disk", 4, kExtRomPaged, 0x001F, Disk(0x1F)},
    {"scorpion_trdos_disk", 5, kTrdos, 0x007F, Disk(0x7F)},
    // The Profi's keyboard needs the full low byte #FE.
    {"profi_keyboard_FE", 3, kNone, 0x7FFE, 0xFE},
    {"profi_no_keyboard_FC", 3, kNone, 0x7FFC, kIdle},
    {"profi_kempston", 3, kNone, 0x001F, kJoystick},
    {"profi_trdos_disk", 3, kTrdos, 0x005F, Disk(0x5F)},
    {"profi_extrom_disk", 3, kExtRomActive, 0x001F, Disk(0x1F)},
    {"profi_extrom_system_83", 3, kExtRomActive, 0x0083, Disk(0xFF)},
    {"profi_extrom_no_kempston", 3, kExtRomActive, 0x0000, kIdle},
    {"profi_ports48_83", 3, kProfiPorts48, 0x0083, Disk(0x1F)},
    {"profi_ports48_E3", 3, kProfiPorts48, 0x00E3, Disk(0x7F)},
    {"profi_ports48_3F_system", 3, kProfiPorts48, 0x003F, Disk(0xFF)},
    {"profi_ports48_no_kempston", 3, kProfiPorts48, 0x001F, kIdle},
    {"profi_ports128_03", 3, kProfiPorts128, 0x0003, Disk(0x1F)},
    {"profi_ports128_63", 3, kProfiPorts128, 0x0063, Disk(0x7F)},
    {"profi_ports128_system", 3, kProfiPorts128, 0x0083, Disk(0xFF)},
    // The common part wins over the model's part on every model.
    {"p128_ay", 0, kNone, 0xFFFD, kAyValue},
    {"p128_ay_partial", 0, kNone, 0xC0FD, kAyValue},
    {"scorpion_ay", 4, kNone, 0xFFFD, kAyValue},
    {"profi_ay", 3, kNone, 0xFFFD, kAyValue},
    {"48k_ay", 7, kNone, 0xFFFD, kAyValue},
    {"mouse_buttons", 0, kNone, 0xFADF, 0xFD},
    {"mouse_x", 4, kNone, 0xFBDF, 0x12},
    {"mouse_y", 3, kNone, 0xFFDF, 0x34},
};

class PortReads : public testing::TestWithParam<ReadCase> {};

TEST_P(PortReads, AnswerPerModel) {
  const ReadCase& c = GetParam();
  PortRig rig(c.model);
  ApplySetup(*rig.m, c.setup);
  const uint8_t got = rig.m->In(c.port);
  if (c.expected & 0x100) {
    EXPECT_EQ(got, RecordingBetaDisk::Answer(uint8_t(c.expected)));
    ASSERT_EQ(rig.disk.reads.size(), 1u);
    EXPECT_EQ(rig.disk.reads[0], uint8_t(c.expected));
  } else {
    EXPECT_EQ(got, c.expected);
    EXPECT_TRUE(rig.disk.reads.empty());
  }
}

// The case's name, not its bytes, wherever GoogleTest prints the value.
void PrintTo(const ReadCase& c, std::ostream* os) { *os << c.name; }
INSTANTIATE_TEST_SUITE_P(Models, PortReads, testing::ValuesIn(kReadCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Ports, MouseSwitchedOffFallsThroughToTheModel) {
  PortRig rig(0);
  rig.m->KempstonMouseEmulation = 0;
  EXPECT_EQ(rig.m->In(0xFADF), kIdle);
}

TEST(Ports, TapeBitReplacesBit6OnlyWithTapeEmulation) {
  PortRig rig(0);
  RecordingTape tape;
  rig.m->SetTapeDeck(&tape);
  rig.m->KeyboardRows[0] = 0xFF;
  EXPECT_EQ(rig.m->In(0x7FFE), 0xFF);
  EXPECT_EQ(tape.earReads, 0);
  rig.m->TapeEmulationEnabled = 1;
  tape.level = 0;
  EXPECT_EQ(rig.m->In(0x7FFE), 0xBF);
  tape.level = 0x40;
  EXPECT_EQ(rig.m->In(0x7FFE), 0xFF);
  EXPECT_EQ(tape.earReads, 2);
}

// ---- writes ---------------------------------------------------------------

struct WriteCase {
  const char* name;
  int model;
  Setup setup;
  uint16_t port;
  uint8_t value;
  // Expected effects.
  int border;  // BorderLatch, or -1 unchanged
  int p7FFD, p1FFD, pDFFD, pFDFD;
  const char* diskWrite;  // "" for none
};

const WriteCase kWriteCases[] = {
    {"p128_border", 0, kNone, 0x00FE, 0x03, 0x03, 0, 0, 0, 0, ""},
    {"p128_border_odd_high", 0, kNone, 0x12FE, 0x05, 0x05, 0, 0, 0, 0, ""},
    {"p128_7FFD", 0, kNone, 0x7FFD, 0x07, -1, 0x07, 0, 0, 0, ""},
    {"p128_7FFD_partial", 0, kNone, 0x3FFD, 0x01, -1, 0x01, 0, 0, 0, ""},
    {"p128_FFFD_is_not_7FFD", 0, kNone, 0xFFFD, 0x01, -1, 0, 0, 0, 0, ""},
    {"p128_trdos_command", 0, kTrdos, 0x001F, 0x08, -1, 0, 0, 0, 0, "1F=08"},
    {"p128_no_disk_without_trdos", 0, kNone, 0x001F, 0x08, -1, 0, 0, 0, 0, ""},
    {"48k_ignores_7FFD", 7, kNone, 0x7FFD, 0x07, -1, 0x30, 0, 0, 0, ""},
    {"atm_FDFD", 6, kNone, 0xFDFD, 0x02, -1, 0, 0, 0, 0x02, ""},
    {"profi_DFFD", 3, kNone, 0xDFFD, 0x04, -1, 0, 0, 0x04, 0, ""},
    {"profi_border_FE_only", 3, kNone, 0x00FC, 0x03, -1, 0x03, 0, 0, 0, ""},
    {"profi_ports48_disk", 3, kProfiPorts48, 0x00A3, 0x11, -1, 0x10, 0, 0x20, 0, "3F=11"},
    {"scorpion_7FFD", 4, kNone, 0x7FFD, 0x07, -1, 0x07, 0, 0, 0, ""},
    {"scorpion_1FFD", 4, kNone, 0x1FFD, 0x10, -1, 0, 0x10, 0, 0, ""},
    {"scorpion_border_FE", 5, kNone, 0x00FE, 0x02, 0x02, 0, 0, 0, 0, ""},
    {"scorpion_no_border_DE", 5, kNone, 0x00DE, 0x02, -1, 0, 0, 0, 0, ""},
    {"scorpion_extrom_disk", 4, kExtRomPaged, 0x007F, 0x99, -1, 0, 0x02, 0, 0, "7F=99"},
};

class PortWrites : public testing::TestWithParam<WriteCase> {};

TEST_P(PortWrites, EffectsPerModel) {
  const WriteCase& c = GetParam();
  PortRig rig(c.model);
  ApplySetup(*rig.m, c.setup);
  rig.m->BorderLatch = 0x47;
  rig.m->Out(c.port, c.value);
  EXPECT_EQ(rig.m->BorderLatch, c.border < 0 ? 0x47 : c.border);
  EXPECT_EQ(rig.m->Port7FFD, c.p7FFD);
  EXPECT_EQ(rig.m->Port1FFD, c.p1FFD);
  EXPECT_EQ(rig.m->PortDFFD, c.pDFFD);
  EXPECT_EQ(rig.m->PortFDFD, c.pFDFD);
  if (*c.diskWrite) {
    ASSERT_EQ(rig.disk.writes.size(), 1u);
    EXPECT_EQ(rig.disk.writes[0], c.diskWrite);
  } else {
    EXPECT_TRUE(rig.disk.writes.empty());
  }
}

// The case's name, not its bytes, wherever GoogleTest prints the value.
void PrintTo(const WriteCase& c, std::ostream* os) { *os << c.name; }
INSTANTIATE_TEST_SUITE_P(Models, PortWrites, testing::ValuesIn(kWriteCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Ports, The7FFDLockHoldsExceptOnThe1024KPentagon) {
  for (int model : {0, 1, 3, 4, 5, 6}) {
    PortRig rig(model);
    rig.m->Out(0x7FFD, 0x20);
    rig.m->Out(0x7FFD, 0x07);
    EXPECT_EQ(rig.m->Port7FFD, 0x20) << "model " << model;
  }
  PortRig p1024(2);
  p1024.m->Out(0x7FFD, 0x20);
  p1024.m->Out(0x7FFD, 0x07);
  EXPECT_EQ(p1024.m->Port7FFD, 0x07);
}

TEST(Ports, AySelectAndWrite) {
  PortRig rig(0);
  rig.m->Out(0xFFFD, 7);
  rig.m->Out(0xBFFD, 0x38);
  EXPECT_EQ(rig.m->SoundChip.AYRegisters[7], 0x38);
  EXPECT_EQ(rig.m->In(0xFFFD), 0x38);
}

// ---- CMOS -------------------------------------------------------------------

TCmosTime FixedTime() {
  TCmosTime t;
  t.Year = 2002;
  t.Month = 11;
  t.Day = 9;
  t.DayOfWeek = 6;
  t.Hours = 23;
  t.Minutes = 45;
  t.Seconds = 7;
  return t;
}

TEST(Cmos, RegistersReadTheInjectedClockInBcd) {
  auto m = MakeMachine();
  m->EnableCMOS = 1;
  m->CmosClock = FixedTime;
  struct {
    uint8_t reg;
    uint8_t expected;
  } cases[] = {{0, 0x07}, {2, 0x45}, {4, 0x23}, {6, 6},     {7, 0x09},  {8, 0x11},
               {9, 0x02}, {10, 0x20}, {11, 0x02}, {12, 0x00}, {13, 0x80}};
  for (auto c : cases) {
    m->Out(0xDFF7, c.reg);
    EXPECT_EQ(m->In(0xBFF7), c.expected) << "register " << int(c.reg);
  }
  // The other addresses of the chip: index at #FFFF, data at #FFEF.
  m->Out(0xFFFF, 9);
  EXPECT_EQ(m->In(0xFFEF), 0x02);
}

TEST(Cmos, StoreRegistersKeepWhatIsWritten) {
  auto m = MakeMachine();
  m->EnableCMOS = 1;
  m->CmosClock = FixedTime;
  for (uint8_t reg : {1, 3, 5, 14, 20, 255}) {
    m->Out(0xDFF7, reg);
    m->Out(0xBFF7, uint8_t(reg ^ 0x5A));
    EXPECT_EQ(m->In(0xBFF7), reg ^ 0x5A);
    EXPECT_EQ(m->CmosMemory[reg], reg ^ 0x5A);
  }
  // Writing a clock register stores it but reads still come from the clock.
  m->Out(0xDFF7, 9);
  m->Out(0xBFF7, 0x99);
  EXPECT_EQ(m->CmosMemory[9], 0x99);
  EXPECT_EQ(m->In(0xBFF7), 0x02);
}

TEST(Cmos, SwitchedOffTheChipIsAbsent) {
  auto m = MakeMachine();
  m->Cpu().Req.IntVector.store(kIdle);
  m->CmosClock = FixedTime;
  m->Out(0xDFF7, 9);
  EXPECT_EQ(m->CmosIndex, 0);
  EXPECT_EQ(m->In(0xBFF7), kIdle);
}

}  // namespace
