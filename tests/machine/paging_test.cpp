// Memory models and paging: what each latch write shows in the four
// windows, model changes, resets and the memory bus overrides.
#include <random>

#include "machine_test_util.h"

using namespace machine_test;

namespace {

enum Latch { L7FFD, LDFFD, L1FFD, LFDFD, Model };

struct Write {
  Latch latch;
  int value;
};

struct PagingCase {
  const char* name;
  int model;
  std::vector<Write> writes;
  int rom, w4000, w8000, wC000, screen;
  uint32_t extendedPage;
};

void Apply(TZXHardware& m, const Write& w) {
  switch (w.latch) {
    case L7FFD: m.WritePort7FFD(uint8_t(w.value)); break;
    case LDFFD: m.WritePortDFFD(uint8_t(w.value)); break;
    case L1FFD: m.WritePort1FFD(uint8_t(w.value)); break;
    case LFDFD: m.WritePortFDFD(uint8_t(w.value)); break;
    case Model: m.SetMemoryModel(w.value); break;
  }
}

const PagingCase kPagingCases[] = {
    {"constructed", 0, {}, kRom128, 5, 2, 0, 5, 0},
    {"p128_page3_shadow_48rom", 0, {{L7FFD, 0x1B}}, kRom48, 5, 2, 3, 7, 0},
    {"p128_ignores_top_bits", 0, {{L7FFD, 0xC7}}, kRom128, 5, 2, 7, 5, 0},
    {"p512_group3_page27", 1, {{L7FFD, 0xC3}}, kRom128, 5, 2, 27, 5, 3},
    {"p1024_E7_is_page63", 2, {{L7FFD, 0xE7}}, kRom128, 5, 2, 63, 5, 7},
    {"p1024_20_is_page32", 2, {{L7FFD, 0x20}}, kRom128, 5, 2, 32, 5, 4},
    {"profi_08_pages_4000", 3, {{L7FFD, 0x03}, {LDFFD, 0x08}}, kRom128, 3, 2, 7, 5, 0},
    {"profi_40_page6_at_8000", 3, {{LDFFD, 0x40}}, kRom128, 5, 6, 0, 5, 0},
    {"profi_10_ram_at_zero", 3, {{LDFFD, 0x10}}, 0, 5, 2, 0, 5, 0},
    {"profi_extended_page", 3, {{L7FFD, 0x01}, {LDFFD, 0x05}}, kRom128, 5, 2, 41, 5, 5},
    {"scorpion1024_D0", 5, {{L1FFD, 0xD0}}, kRom128, 5, 2, 56, 5, 7},
    {"scorpion256_D0_bit0_only", 4, {{L1FFD, 0xD0}}, kRom128, 5, 2, 8, 5, 1},
    {"scorpion_extrom", 4, {{L1FFD, 0x02}}, kExtRom, 5, 2, 0, 5, 0},
    {"scorpion_ram_over_extrom", 4, {{L1FFD, 0x03}}, 0, 5, 2, 0, 5, 0},
    {"atm_FDFD_group", 6, {{LFDFD, 0x03}, {L7FFD, 0x05}}, kRom128, 5, 2, 29, 5, 3},
    {"spectrum48_ignores_7FFD", 7, {{L7FFD, 0x07}}, kRom48, 5, 2, 0, 5, 0},
    {"p128_ignores_other_latches", 0, {{LDFFD, 0x10}, {L1FFD, 0x03}, {LFDFD, 0x03}},
     kRom128, 5, 2, 0, 5, 0},
    // A model change rewrites the latches under the old model.
    {"48k_to_p128_keeps_48rom_and_lock", 7, {{Model, 0}}, kRom48, 5, 2, 0, 5, 0},
    {"p128_to_48k", 0, {{L7FFD, 0x0F}, {Model, 7}}, kRom48, 5, 2, 0, 5, 0},
    {"out_of_range_model_is_p128", 3, {{Model, 12}}, kRom128, 5, 2, 0, 5, 0},
    // The extended page of a bigger model does not survive into a smaller one.
    {"p1024_page39_then_p128", 2, {{L7FFD, 0x27}, {Model, 0}}, kRom128, 5, 2, 7, 5, 0},
    {"scorpion1024_then_scorpion256", 5, {{L1FFD, 0xD0}, {Model, 4}}, kRom128, 5, 2, 8, 5, 1},
    {"profi_then_p512", 3, {{LDFFD, 0x07}, {Model, 1}}, kRom128, 5, 2, 0, 5, 0},
    {"profi_flags_cleared_leaving", 3, {{LDFFD, 0xDF}, {Model, 0}}, kRom128, 5, 2, 0, 5, 0},
};

class PagingTable : public testing::TestWithParam<PagingCase> {};

TEST_P(PagingTable, WindowsShowTheExpectedPages) {
  const PagingCase& c = GetParam();
  auto m = MakeMachine();
  m->SetMemoryModel(c.model);
  for (const Write& w : c.writes) Apply(*m, w);
  EXPECT_EQ(PageOf(*m, m->RomWindow()), c.rom);
  EXPECT_EQ(PageOf(*m, m->Window4000()), c.w4000);
  EXPECT_EQ(PageOf(*m, m->Window8000()), c.w8000);
  EXPECT_EQ(PageOf(*m, m->WindowC000()), c.wC000);
  EXPECT_EQ(PageOf(*m, m->ScreenPage), c.screen);
  EXPECT_EQ(m->ExtendedPage, c.extendedPage);
}

// The case's name, not its bytes, wherever GoogleTest prints the value.
void PrintTo(const PagingCase& c, std::ostream* os) { *os << c.name; }
INSTANTIATE_TEST_SUITE_P(Models, PagingTable, testing::ValuesIn(kPagingCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Paging, ConstructedMachineIsAnIdlePentagon128) {
  auto m = MakeMachine();
  EXPECT_EQ(m->MemoryModel, kPentagon128);
  EXPECT_EQ(m->Port7FFD, 0);
  for (uint8_t row : m->KeyboardRows) EXPECT_EQ(row, 0xFF);
  EXPECT_EQ(m->KempstonMouseX, 0x80);
  EXPECT_EQ(m->KempstonMouseY, 0x80);
  EXPECT_EQ(m->Cpu().Req.IntVector.load(), 0xFF);
  EXPECT_EQ(m->FrameTact, 0u);
  EXPECT_EQ(m->GlobalTact, 0u);
  EXPECT_EQ(m->HiResMode, 0);
}

TEST(Paging, ModelChangeFrom48KLeavesTheLatchLocked) {
  auto m = MakeMachine();
  m->SetMemoryModel(kSpectrum48);
  m->SetMemoryModel(kPentagon128);
  EXPECT_EQ(m->Port7FFD, 0x30);
  m->Out(0x7FFD, 0x07);  // software write: locked out until a reset
  EXPECT_EQ(PageOf(*m, m->WindowC000()), 0);
  m->ResetTo128Rom();
  EXPECT_EQ(PageOf(*m, m->RomWindow()), kRom128);
  m->Out(0x7FFD, 0x07);
  EXPECT_EQ(PageOf(*m, m->WindowC000()), 7);
}

TEST(Paging, ResetsSetRomAndOverrides) {
  struct Case {
    void (TZXHardware::*reset)();
    int rom;
    uint8_t trdos, extrom;
  } cases[] = {
      {&TZXHardware::ResetTo48Rom, kRom48, 0, 0},
      {&TZXHardware::ResetTo128Rom, kRom128, 0, 0},
      {&TZXHardware::ResetToTrdos, kRom48, 1, 0},
      {&TZXHardware::ResetToExtRom, kRom48, 0, 1},
  };
  for (const Case& c : cases) {
    auto m = MakeMachine();
    m->SetMemoryModel(kProfi1024);
    m->WritePortDFFD(0xDF);  // every Profi bit, high-resolution mode included
    m->WritePort7FFD(0x2F);
    (m.get()->*c.reset)();
    EXPECT_NE(m->Cpu().Req.ResetPending.load(), 0);
    EXPECT_EQ(PageOf(*m, m->RomWindow()), c.rom);
    EXPECT_EQ(m->TrdosActive, c.trdos);
    EXPECT_EQ(m->ExtRomActive, c.extrom);
    EXPECT_EQ(m->ExtendedPage, 0u);
    EXPECT_EQ(m->RamAtZero, 0);
    EXPECT_EQ(m->Window4000Paged, 0);
    EXPECT_EQ(m->Window8000Page6, 0);
    EXPECT_EQ(m->HiResMode, 0);
    EXPECT_EQ(PageOf(*m, m->WindowC000()), 0);
  }
}

TEST(Paging, MagicButtons) {
  auto m = MakeMachine();
  m->Cpu().PC = 0x3FFF;
  m->PressMagic();
  EXPECT_EQ(m->Cpu().Req.NmiPending.load(), 0);
  EXPECT_EQ(m->TrdosActive, 0);
  m->Cpu().PC = 0x4000;
  m->PressMagic();
  EXPECT_NE(m->Cpu().Req.NmiPending.load(), 0);
  EXPECT_EQ(m->TrdosActive, 1);

  auto s = MakeMachine();
  s->SetMemoryModel(kScorpion256);
  s->PressScorpionMagic();
  EXPECT_NE(s->Cpu().Req.NmiPending.load(), 0);
  EXPECT_EQ(PageOf(*s, s->RomWindow()), kExtRom);
  s->Cpu().Req.NmiPending.store(0);
  s->PressScorpionMagic();  // EXTROM already in: nothing
  EXPECT_EQ(s->Cpu().Req.NmiPending.load(), 0);
}

// Random model changes, latch writes and decoded port writes: every window
// stays inside the RAM the current model has, and the ROM window is a ROM
// slot or (only when mapped) RAM page 0.
TEST(Paging, RandomSequencesStayInsideTheModelsPages) {
  auto m = MakeMachine();
  std::mt19937 rng(20261208);
  const uint16_t ports[] = {0x7FFD, 0xDFFD, 0x1FFD, 0xFDFD, 0x00FE, 0x5FFD, 0x3FFD};
  for (int step = 0; step < 20000; ++step) {
    const uint8_t value = uint8_t(rng());
    switch (rng() % 7) {
      case 0: m->SetMemoryModel(int(rng() % 10)); break;
      case 1: m->WritePort7FFD(value); break;
      case 2: m->WritePortDFFD(value); break;
      case 3: m->WritePort1FFD(value); break;
      case 4: m->WritePortFDFD(value); break;
      case 5: m->Out(ports[rng() % 7], value); break;
      case 6: {
        void (TZXHardware::*resets[])() = {&TZXHardware::ResetTo48Rom,
                                           &TZXHardware::ResetTo128Rom,
                                           &TZXHardware::ResetToTrdos,
                                           &TZXHardware::ResetToExtRom};
        (m.get()->*resets[rng() % 4])();
        break;
      }
    }
    const int pages = RamPagesOfModel(m->MemoryModel);
    SCOPED_TRACE("step " + std::to_string(step) + " model " + std::to_string(m->MemoryModel));
    for (int w = 1; w < 4; ++w) {
      const int page = PageOf(*m, m->Windows[w]);
      ASSERT_GE(page, 0);
      ASSERT_LT(page, pages);
    }
    const int rom = PageOf(*m, m->RomWindow());
    if (m->RamAtZero)
      ASSERT_EQ(rom, 0);
    else
      ASSERT_TRUE(rom == kRom128 || rom == kRom48 || rom == kExtRom);
    const int screen = PageOf(*m, m->ScreenPage);
    ASSERT_TRUE(screen == 5 || screen == 7);
  }
}

// ---- the memory bus -----------------------------------------------------

TEST(MemoryBus, TrdosPagesInOnFetchFrom3DxxUnderThe48Rom) {
  auto m = MakeMachine();
  m->TrdosRomSlot[0x3D2F] = 0xAA;
  m->Rom48Slot[0x3D2F] = 0x48;
  m->Rom128Slot[0x3D2F] = 0x28;
  m->WritePort7FFD(0x10);
  EXPECT_EQ(m->Read(0x3D2F), 0x48);  // a read does not page
  EXPECT_EQ(m->TrdosActive, 0);
  EXPECT_EQ(m->Fetch(0x3D2F), 0xAA);
  EXPECT_EQ(m->TrdosActive, 1);
  EXPECT_EQ(m->Read(0x3D2F), 0xAA);  // reads see TR-DOS while it is active
  m->Fetch(0x4000);
  EXPECT_EQ(m->TrdosActive, 0);

  m->WritePort7FFD(0x00);  // the 128 ROM: no paging
  EXPECT_EQ(m->Fetch(0x3D00), m->Rom128Slot[0x3D00]);
  EXPECT_EQ(m->TrdosActive, 0);

  m->WritePort7FFD(0x10);
  m->BetaDiskEmulation = 0;  // interface switched off
  EXPECT_EQ(m->Fetch(0x3D2F), 0x48);
  EXPECT_EQ(m->TrdosActive, 0);
}

TEST(MemoryBus, RomIsWritableOnlyWhenRamIsMappedAtZero) {
  auto m = MakeMachine();
  const uint8_t before = m->Rom128Slot[0x1234];
  m->Write(0x1234, 0x5A);
  EXPECT_EQ(m->Rom128Slot[0x1234], before);
  EXPECT_EQ(m->RamPages[0][0x1234], 0);

  m->SetMemoryModel(kScorpion256);
  m->WritePort1FFD(0x01);
  m->Write(0x1234, 0x5A);
  EXPECT_EQ(m->RamPages[0][0x1234], 0x5A);
  EXPECT_EQ(m->Read(0x1234), 0x5A);
}

TEST(MemoryBus, WritesGoThroughTheWindows) {
  auto m = MakeMachine();
  m->WritePort7FFD(0x03);
  m->Write(0x4001, 1);
  m->Write(0x8002, 2);
  m->Write(0xC003, 3);
  m->Write(0xFFFF, 4);
  EXPECT_EQ(m->RamPages[5][1], 1);
  EXPECT_EQ(m->RamPages[2][2], 2);
  EXPECT_EQ(m->RamPages[3][3], 3);
  EXPECT_EQ(m->RamPages[3][0x3FFF], 4);
}

}  // namespace
