// The beam renderer: geometry of the presets, border and paper at their
// T-states, the character-row layout, flash, the 512-pixel mode, the
// floating bus, and timing sets the rules would refuse.
#include <random>

#include "machine_test_util.h"

using namespace machine_test;

namespace {

constexpr uint8_t kClassPaper = 1, kClassBorder = 2;

// Classic Spectrum screen address of pixel line y (0-191), column byte c:
// an independent formula, not the renderer's row tables.
uint16_t BitmapOffset(int y, int c) {
  return uint16_t(((y & 0xC0) << 5) | ((y & 7) << 8) | ((y & 0x38) << 2) | c);
}
uint16_t AttrOffset(int y, int c) { return uint16_t(6144 + (y / 8) * 32 + c); }

// Places the beam at a frame T-state (no instruction in progress).
void At(TZXHardware& m, uint32_t tact) {
  m.FrameTact = tact;
  m.Cpu().Req.Ticks = 0;
}

uint8_t Pixel(const std::vector<uint8_t>& picture, int x, int y, int width = 320) {
  return picture[size_t(y) * size_t(width) + size_t(x)];
}

struct PresetCase {
  size_t preset;
  uint32_t firstVisible;  // FirstVisibleTact
  uint32_t firstDrawn;    // frame T-state of the top-left picture pixel pair
  uint32_t firstPaper;    // frame T-state of the first paper pixel pair
};

TEST(Renderer, PresetGeometry) {
  const PresetCase cases[] = {
      {0, 12544, 12544 + 52, 12544 + 224 * 24 + 68},
      {1, 39 * 224, 39 * 224 + 208, 64 * 224},  // paper at 0: counted from the line before
      {2, 40 * 224, 40 * 224 + 184, 64 * 224 + 200},
  };
  for (const PresetCase& c : cases) {
    auto m = MakeMachine();
    ASSERT_FALSE(m->ApplyTiming(TimingFromPreset(c.preset)));
    EXPECT_EQ(m->FirstVisibleTact, c.firstVisible);
    const auto& table = m->ScreenClassTable;
    size_t firstDrawn = 0, firstPaper = 0, drawn = 0, paper = 0;
    for (size_t i = 0; i < table.size(); ++i) {
      if (table[i] == kClassPaper || table[i] == kClassBorder) {
        if (!drawn++) firstDrawn = i;
      }
      if (table[i] == kClassPaper && !paper++) firstPaper = i;
    }
    EXPECT_EQ(c.firstVisible + firstDrawn, c.firstDrawn) << TimingPreset[c.preset].Name;
    EXPECT_EQ(c.firstVisible + firstPaper, c.firstPaper) << TimingPreset[c.preset].Name;
    EXPECT_EQ(drawn, 240u * 160u);
    EXPECT_EQ(paper, 192u * 128u);
    EXPECT_EQ(table.back(), 3);
  }
}

TEST(Renderer, BorderChangesAtItsTact) {
  auto m = MakeMachine();
  RecordingDisplay display;
  m->SetDisplayOutput(&display);
  const uint32_t lineStart = 12544 + 52;  // top-left pixel pair of picture line 0
  At(*m, lineStart + 10);
  m->Out(0x00FE, 0x05);
  At(*m, lineStart + 224 * 100 + 3);  // line 100, inside the left border
  m->Out(0x00FE, 0x02);
  m->EndFrame();
  const auto& p = display.lastPicture;
  EXPECT_EQ(Pixel(p, 19, 0), 16 + 0);  // the pair of T-state 9: old colour
  EXPECT_EQ(Pixel(p, 20, 0), 16 + 5);
  EXPECT_EQ(Pixel(p, 319, 99), 16 + 5);
  EXPECT_EQ(Pixel(p, 5, 100), 16 + 5);
  EXPECT_EQ(Pixel(p, 6, 100), 16 + 2);
  EXPECT_EQ(Pixel(p, 319, 239), 16 + 2);
}

TEST(Renderer, PaperCellsFollowTheScreenLayout) {
  struct Cell {
    int y, col;
    uint8_t bits, attr;
  } cells[] = {
      {0, 0, 0xA5, 0x47},    {7, 31, 0x81, 0x0A},   {8, 0, 0xF0, 0x38},  {63, 5, 0x3C, 0x71},
      {64, 16, 0x18, 0x39},  {127, 31, 0xFF, 0x02}, {128, 1, 0x01, 0x50}, {191, 0, 0x80, 0x3E},
      {99, 5, 0x42, 0x0F},
  };
  auto m = MakeMachine();
  RecordingDisplay display;
  m->SetDisplayOutput(&display);
  for (const Cell& c : cells) {
    m->RamPages[5][BitmapOffset(c.y, c.col)] = c.bits;
    m->RamPages[5][AttrOffset(c.y, c.col)] = c.attr;
  }
  m->EndFrame();
  for (const Cell& c : cells) {
    const uint8_t bright = (c.attr & 0x40) ? 8 : 0;
    const uint8_t ink = uint8_t(16 + (c.attr & 7) + bright);
    const uint8_t paper = uint8_t(16 + ((c.attr >> 3) & 7) + bright);
    for (int x = 0; x < 8; ++x) {
      const uint8_t expected = (c.bits & (0x80 >> x)) ? ink : paper;
      EXPECT_EQ(Pixel(display.lastPicture, 32 + c.col * 8 + x, 24 + c.y), expected)
          << "line " << c.y << " column " << c.col << " pixel " << x;
    }
  }
}

TEST(Renderer, FlashSwapsInkAndPaperEvery16Frames) {
  auto m = MakeMachine();
  RecordingDisplay display;
  m->SetDisplayOutput(&display);
  m->RamPages[5][0] = 0xF0;
  m->RamPages[5][6144] = 0x80 | 0x38;  // flashing black ink on white
  int phaseChanges = 0;
  uint8_t lastPhase = m->FlashPhase;
  for (int frame = 0; frame < 48; ++frame) {
    const uint8_t phase = m->FlashPhase;  // drawn with the phase before the present
    m->EndFrame();
    EXPECT_EQ(Pixel(display.lastPicture, 32, 24), phase ? 16 + 7 : 16 + 0);
    EXPECT_EQ(Pixel(display.lastPicture, 39, 24), phase ? 16 + 0 : 16 + 7);
    if (m->FlashPhase != lastPhase) ++phaseChanges;
    lastPhase = m->FlashPhase;
  }
  EXPECT_EQ(phaseChanges, 3);
}

TEST(Renderer, WriteInsideTheByteBeingDrawnShowsFromTheNextByte) {
  auto m = MakeMachine();
  RecordingDisplay display;
  m->SetDisplayOutput(&display);
  m->RamPages[5][AttrOffset(0, 0)] = 0x38;
  m->RamPages[5][AttrOffset(0, 1)] = 0x38;
  const uint32_t paper = 12544 + 224 * 24 + 68;
  At(*m, paper + 2);  // two pixel pairs of byte 0 drawn
  m->Write(0x4000, 0xFF);
  At(*m, paper + 3);
  m->Write(0x4001, 0xFF);  // byte 1 is fetched later: shows whole
  m->EndFrame();
  for (int x = 0; x < 8; ++x) EXPECT_EQ(Pixel(display.lastPicture, 32 + x, 24), 16 + 7) << x;
  for (int x = 8; x < 16; ++x) EXPECT_EQ(Pixel(display.lastPicture, 32 + x, 24), 16 + 0) << x;
}

TEST(Renderer, NothingIsDrawnBeforeTheFirstVisibleTact) {
  auto m = MakeMachine();
  const uint32_t before = m->LastRenderedTact;
  m->RenderToTact(100);
  EXPECT_EQ(m->LastRenderedTact, before);
  EXPECT_EQ(m->BeamTableIndex, 0u);
  m->RenderToTact(m->FirstVisibleTact + 60);
  EXPECT_EQ(m->BeamTableIndex, 60u);
  EXPECT_EQ(m->BeamPixelOffset, 16u);  // 52 invisible T-states, then 8 border pairs
}

TEST(Renderer, HighResolutionMode) {
  auto m = MakeMachine();
  RecordingDisplay display;
  m->SetDisplayOutput(&display);
  m->SetMemoryModel(kProfi1024);
  m->Out(0xDFFD, 0x80);
  ASSERT_EQ(display.modes, std::vector<int>{1});
  EXPECT_EQ(m->ScreenWidth, 640u);
  EXPECT_EQ(m->PictureLines, 480u);
  uint8_t* bitmap = m->RamPages[4];
  uint8_t* attrs = m->RamPages[56];
  bitmap[0x2000] = 0xF0;  // left half of column 0, line 0
  attrs[0x2000] = 0x07;   // white ink on black
  bitmap[0] = 0x0F;       // right half
  attrs[0] = 0x80 | 0x10; // black ink on paper 2, brightened by bit 7
  bitmap[256 + 31] = 0xFF;  // line 1, right half of the last column
  attrs[256 + 31] = 0x04;
  m->BorderLatch = 1;

  At(*m, 199);
  m->RenderToTact(199);
  EXPECT_EQ(m->HiResLinesDone, 0u);
  m->RenderToTact(400);
  EXPECT_EQ(m->HiResLinesDone, 2u);
  m->RenderToTact(48000);
  EXPECT_EQ(m->HiResLinesDone, 240u);
  m->EndFrame();
  const auto& p = display.lastPicture;
  ASSERT_EQ(p.size(), 640u * 480u);
  for (int row : {0, 1}) {
    EXPECT_EQ(Pixel(p, 0, row, 640), 16 + 6);   // border: the inverted colour
    EXPECT_EQ(Pixel(p, 639, row, 640), 16 + 6);
    EXPECT_EQ(Pixel(p, 64, row, 640), 16 + 7);
    EXPECT_EQ(Pixel(p, 68, row, 640), 16 + 0);
    EXPECT_EQ(Pixel(p, 72, row, 640), 16 + 2 + 8);
    EXPECT_EQ(Pixel(p, 76, row, 640), 16 + 0);
  }
  EXPECT_EQ(Pixel(p, 575, 2, 640), 16 + 4);
  EXPECT_EQ(Pixel(p, 575, 3, 640), 16 + 4);

  m->Out(0xDFFD, 0x80);  // already in force: nothing
  m->Out(0xDFFD, 0x00);
  EXPECT_EQ(display.modes, (std::vector<int>{1, 0}));
  EXPECT_EQ(m->ScreenWidth, 320u);
}

TEST(Renderer, FloatingBusShowsTheByteUnderTheBeam) {
  auto m = MakeMachine();
  m->Cpu().Req.IntVector.store(0x77);
  uint8_t* screen = m->RamPages[5];
  screen[0] = 0x11;
  screen[1] = 0x22;
  screen[6144] = 0x33;
  screen[6145] = 0x44;
  const uint32_t paper = 12544 + 224 * 24 + 68;
  struct Step {
    uint32_t tact;
    uint8_t expected;
  } steps[] = {
      {1000, 0x77},            // above the picture
      {12544 + 100, 0x77},     // top border
      {paper - 1, 0x77},       // left border
      {paper, 0x77},           // the frame's first fetch has not happened
      {paper + 1, 0x77},
      {paper + 4, 0x77},
      {paper + 5, 0x33},       // attribute of byte 0
      {paper + 6, 0x11},       // bitmap of byte 0
      {paper + 7, 0x33},
      {paper + 9, 0x44},       // byte 1
      {paper + 10, 0x22},
      {paper + 128, 0x77},     // right border
  };
  for (const Step& s : steps) {
    At(*m, s.tact);
    EXPECT_EQ(m->In(0x00FF), s.expected) << "T-state " << s.tact;
  }
}

TEST(Renderer, PaletteEntries) {
  auto m = MakeMachine();
  m->SpectrumPalette[3 * 9 + 2] = 0x99;  // bright blue made different
  TPaletteEntry e[256];
  m->FillPaletteEntries(e, 256);
  EXPECT_EQ(e[8].Red, 128);  // the interface grey
  EXPECT_EQ(e[16 + 9].Blue, 0x99);
  EXPECT_EQ(e[16 + 2].Red, 192);
  for (int i = 32; i < 256; ++i) {
    EXPECT_EQ(e[i].Red, GuiPalette[(i & 15) * 3]) << i;
    EXPECT_EQ(e[i].Blue, GuiPalette[(i & 15) * 3 + 2]) << i;
    EXPECT_EQ(e[i].Flags, 0);
  }
}

// Memory writes draw the picture first only when the beam reads the written
// byte in the stretch not yet drawn. The oracle draws before every write;
// the pictures must be the same, whatever the timing.
TEST(Renderer, DeferredDrawingGivesThePictureOfDrawingAtEveryWrite) {
  std::vector<TTimingValues> timings = {TimingFromPreset(0), TimingFromPreset(1),
                                        TimingFromPreset(2),
                                        {60000, 0, 31, 200, 40, 10, 3, 0},
                                        {72000, 100, 140, 230, 60, 41, -7, 0}};
  std::mt19937 rng(99);
  for (const TTimingValues& t : timings) {
    ASSERT_FALSE(CheckTimingValues(t));
    auto lazy = MakeMachine();
    auto eager = MakeMachine();
    RecordingDisplay lazyDisplay, eagerDisplay;
    lazy->SetDisplayOutput(&lazyDisplay);
    eager->SetDisplayOutput(&eagerDisplay);
    ASSERT_FALSE(lazy->ApplyTiming(t));
    ASSERT_FALSE(eager->ApplyTiming(t));
    for (int frame = 0; frame < 3; ++frame) {
      for (uint32_t tact = 0; tact < t.timeLoopTime; tact += 1 + rng() % 40) {
        const uint32_t kind = rng() % 100;
        const uint8_t value = uint8_t(rng());
        uint16_t address = uint16_t(0x4000 + rng() % 6912);
        if (kind >= 90) address = uint16_t(0x5B00 + rng() % 0xA500);
        At(*lazy, tact);
        At(*eager, tact);
        if (kind < 95) {
          eager->RenderToTact(tact);
          lazy->Write(address, value);
          eager->Write(address, value);
        } else if (kind < 98) {
          lazy->Out(0x00FE, value);
          eager->Out(0x00FE, value);
        } else {
          ASSERT_EQ(lazy->In(0x00FF), eager->In(0x00FF)) << tact;
        }
      }
      lazy->EndFrame();
      eager->EndFrame();
      ASSERT_EQ(lazyDisplay.lastPicture, eagerDisplay.lastPicture)
          << "timing " << t.timeLoopTime << ", frame " << frame;
    }
  }
}

// Timing sets as they might arrive without the dialog's checks: the class
// table must stay bounded by the frame and the beam inside the picture.
TEST(Renderer, TimingSetsOutsideTheRulesStayInsideTheBuffers) {
  struct Set {
    const char* name;
    TTimingValues t;
  } sets[] = {
      {"valid_past_300000", {317919, 0, 31, 224, 80, 68, 0, 0}},
      {"huge_frame", {4000000000u, 0, 31, 224, 30, 68, 0, 0}},
      {"max_frame", {0xFFFFFFFFu, 0, 31, 224, 80, 68, 0, 0}},
      {"zero_line", {71680, 0, 31, 0, 80, 68, 0, 0}},
      {"short_line", {71680, 0, 31, 10, 30, 5, 0, 0}},
      {"no_lines_before", {71680, 0, 31, 224, 0, 68, 0, 0}},
      {"far_paper", {71680, 0, 31, 224, 80, 0x7FFFFFFF, 0, 0}},
      {"negative_fix", {71680, 0, 31, 224, 80, 0, -100000, 0}},
      {"zero_frame", {0, 0, 0, 224, 80, 68, 0, 0}},
      {"huge_lines", {71680, 0, 31, 0xFFFF, 0xFFFF, 68, 0, 0}},
  };
  for (const Set& s : sets) {
    SCOPED_TRACE(s.name);
    auto m = MakeMachine();
    m->Timing = s.t;
    m->InitScreenTiming();
    EXPECT_LE(m->ScreenClassTable.size(), (1u << 20) + 1);
    EXPECT_EQ(m->ScreenClassTable.back(), 3);
    for (uint32_t tact = 0; tact < 400000; tact += 997) {
      At(*m, tact);
      m->Out(0x00FE, uint8_t(tact));
      m->Write(uint16_t(0x4000 + (tact & 0x1AFF)), uint8_t(tact >> 3));
      m->In(0x00FF);
      ASSERT_LE(m->BeamPixelOffset, 320u * 240u);
    }
    m->EndFrame();
    m->RenderToTact(0xFFFFFFFFu);
    ASSERT_LE(m->BeamPixelOffset, 320u * 240u);
  }
}

}  // namespace
