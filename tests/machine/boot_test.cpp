// Headless boots of the free 48K-compatible BASIC: after a few hundred
// frames the paper must show the ROM's start-up copyright line. The picture
// is read back as text with the ROM's own character set, so nothing here
// stores a picture of our own.
#include "machine_test_util.h"
#include "platform/files.h"

using namespace machine_test;

namespace {

const char* kRomDir = "/usr/share/spectrum-roms/";
const char* kCopyright = "1981 Nine Tiles Networks Ltd";

// The font the ROM prints with: CHARS (system variable #5C36) points 256
// bytes below the glyph of the space; #3C00 before BASIC has set it.
uint16_t FontAddress(const TZXHardware& m) {
  uint16_t chars = uint16_t(m.Read(0x5C36) | (m.Read(0x5C37) << 8));
  if (chars == 0) chars = 0x3C00;
  return uint16_t(chars + 256);
}

// Reads the 24 x 32 character cells of the paper (picture rows 24-215,
// columns 32-287) and matches each cell against the font: a pixel in the
// ink colour is a set bit. Unknown cells become '?'.
std::vector<std::string> ScreenText(const TZXHardware& m, const std::vector<uint8_t>& picture,
                                    uint8_t inkIndex) {
  const uint16_t font = FontAddress(m);
  std::vector<std::string> lines;
  for (int row = 0; row < 24; ++row) {
    std::string line;
    for (int col = 0; col < 32; ++col) {
      uint8_t cell[8];
      for (int y = 0; y < 8; ++y) {
        uint8_t bits = 0;
        for (int x = 0; x < 8; ++x) {
          const size_t at = size_t(24 + row * 8 + y) * 320 + size_t(32 + col * 8 + x);
          if (picture[at] == inkIndex) bits |= uint8_t(0x80 >> x);
        }
        cell[y] = bits;
      }
      char found = '?';
      for (int ch = 32; ch < 128 && found == '?'; ++ch) {
        bool same = true;
        for (int y = 0; y < 8 && same; ++y) same = m.Read(uint16_t(font + (ch - 32) * 8 + y)) == cell[y];
        if (same) found = char(ch);
      }
      line += found;
    }
    lines.push_back(line);
  }
  return lines;
}

struct BootCase {
  const char* name;
  int model;
  const char* rom128;
  const char* rom48;
};

class Boot : public testing::TestWithParam<BootCase> {};

TEST_P(Boot, PaperShowsTheCopyrightLine) {
  const BootCase& c = GetParam();
  if (!platform::FileExists(std::string(kRomDir) + "opense.rom"))
    GTEST_SKIP() << "the free ROM is not installed";
  auto m = MakeMachine();
  RecordingDisplay display;
  m->SetDisplayOutput(&display);
  m->RomFileSpecs[0] = c.rom128 ? std::string(kRomDir) + c.rom128 : "";
  m->RomFileSpecs[1] = c.rom48 ? std::string(kRomDir) + c.rom48 : "";
  m->LoadRoms();
  m->SetMemoryModel(c.model);
  m->ResetTo128Rom();  // the 48K model keeps its 48 ROM whatever the reset
  RunFrames(*m, 300);
  ASSERT_GE(display.presents, 299);
  ASSERT_EQ(display.lastPicture.size(), 320u * 240u);

  // The ROM prints black ink (palette index 16) on white paper.
  const std::vector<std::string> text = ScreenText(*m, display.lastPicture, 16);
  bool found = false;
  for (const std::string& line : text) found = found || line.find(kCopyright) != std::string::npos;
  std::string screen;
  for (const std::string& line : text) screen += "|" + line + "|\n";
  EXPECT_TRUE(found) << "screen as read back:\n" << screen;
  // The border around the paper is the ROM's white.
  EXPECT_EQ(display.lastPicture[0], 16 + 7);
  EXPECT_EQ(display.lastPicture[320 * 240 - 1], 16 + 7);
}

// The case's name, not its bytes, wherever GoogleTest prints the value.
void PrintTo(const BootCase& c, std::ostream* os) { *os << c.name; }
INSTANTIATE_TEST_SUITE_P(
    FreeRom, Boot,
    testing::Values(BootCase{"Spectrum48", kSpectrum48, nullptr, "opense.rom"},
                    BootCase{"Pentagon128WithStub", kPentagon128, "opense-stub.rom", "opense.rom"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
