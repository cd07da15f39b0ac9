#include "shell/palette_dialog.h"

#include <mutex>

// Colours as #RRGGBB.
const std::array<TPalettePreset, 12> PalettePresets = {{
    {"Normal",
     {0x000000, 0x0000C0, 0xC00000, 0xC000C0, 0x00C000, 0x00C0C0, 0xC0C000, 0xC0C0C0,
      0x000000, 0x0000F0, 0xF00000, 0xF000F0, 0x00F000, 0x00F0F0, 0xF0F000, 0xF0F0F0}},
    {"ElectroScale",
     {0x40404C, 0x4C505C, 0x606474, 0x707488, 0x80849C, 0x9498B4, 0xA4A8C8, 0xB4BCDC,
      0x40404C, 0x545464, 0x64687C, 0x787C94, 0x8C94AC, 0xA4A8C8, 0xB4BCDC, 0xC8D0F4}},
    {"Gray",
     {0x000000, 0x1B1B1B, 0x363636, 0x515151, 0x6D6D6D, 0x888888, 0xA4A4A4, 0xBFBFBF,
      0x000000, 0x232323, 0x484848, 0x6C6C6C, 0x919191, 0xB5B5B5, 0xDADADA, 0xFEFEFE}},
    {"Unreal",
     {0x000000, 0x0000BF, 0xBF0000, 0xBF00BF, 0x00BF00, 0x00BFBF, 0xBFBF00, 0xBFBFBF,
      0x000000, 0x0000FE, 0xFE0000, 0xFE00FE, 0x00FE00, 0x00FEFE, 0xFEFE00, 0xFEFEFE}},
    {"Mars",
     {0x000000, 0x000090, 0xBF3000, 0xBF3090, 0x009030, 0x0090C0, 0xBFC030, 0xBFC0C0,
      0x000000, 0x0000BF, 0xFE3F00, 0xFE3FBF, 0x00BF3F, 0x00BFFF, 0xFEFF3F, 0xFEFFFF}},
    {"Tarvel",
     {0x000000, 0x0000A8, 0xA80000, 0xA800A8, 0x00A800, 0x00A8A8, 0xA8A800, 0xA8A8A8,
      0x000000, 0x0000FC, 0xFC0000, 0xFC00FC, 0x00FC00, 0x00FCFC, 0xFCFC00, 0xFCFCFC}},
    {"Tarvel gray",
     {0x000000, 0x141414, 0x343434, 0x444444, 0x646464, 0x6C6C6C, 0x949494, 0xA8A8A8,
      0x000000, 0x1C1C1C, 0x4C4C4C, 0x686868, 0x949494, 0xB0B0B0, 0xE0E0E0, 0xFCFCFC}},
    {"RealSpec",
     {0x000000, 0x0000C8, 0xC80000, 0xC800C8, 0x00C800, 0x00C8C8, 0xC8C800, 0xC8C8C8,
      0x000000, 0x0000FC, 0xFC0000, 0xFC00FC, 0x00FC00, 0x00FCFC, 0xFCFC00, 0xFCFCFC}},
    {"ZX-Jam",
     {0x000000, 0x0000C0, 0xC00000, 0xC000C0, 0x00C000, 0x00C0C0, 0xC0C000, 0xC0C0C0,
      0x000000, 0x0000FC, 0xFC0000, 0xFC00FC, 0x00FC00, 0x00FCFC, 0xFCFC00, 0xFCFCFC}},
    {"JPP",
     {0x000000, 0x0000B4, 0xB40000, 0xB400B4, 0x00B400, 0x00B4B4, 0xB4B400, 0xB4B4B4,
      0x000000, 0x0000FC, 0xFC0000, 0xFC00FC, 0x00FC00, 0x00FCFC, 0xFCFC00, 0xFCFCFC}},
    {"X128",
     {0x000000, 0x0000A0, 0xDC0000, 0xE400B4, 0x00D400, 0x00D4D4, 0xD0D000, 0xC8C8C8,
      0x000000, 0x0000AC, 0xF00000, 0xFC00DC, 0x00F000, 0x00FCFC, 0xFCFC00, 0xFCFCFC}},
    {"strange",
     {0x000000, 0x2828C8, 0xC82828, 0xD048D0, 0x28C828, 0x48D0D0, 0xD0D018, 0xD4D4D4,
      0x000000, 0x3434F0, 0xF03434, 0xF850F8, 0x34F034, 0x50F8F8, 0xF8F850, 0xFCFCFC}},
}};

namespace {

TPanelColor PanelFromRgb(uint32_t rgb) {
  return ((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16);
}

// Each of the three components of a panel colour moved by one step where
// it can move.
TPanelColor StepComponents(TPanelColor c, int delta) {
  TPanelColor out = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    int v = int((c >> shift) & 0xFF) + delta;
    if (v < 0) v = 0;
    if (v > 255) v = 255;
    out |= TPanelColor(v) << shift;
  }
  return out;
}

}  // namespace

const char* TPaletteDialog::PresetItem(int index) {
  return index <= 0 ? "<User defined>" : PalettePresets.at(size_t(index - 1)).Name;
}

void TPaletteDialog::Open(const TZXHardware& machine) {
  for (size_t i = 0; i < 16; ++i) {
    const uint8_t* rgb = &machine.SpectrumPalette[i * 3];
    colors_[i] = rgb[0] | (TPanelColor(rgb[1]) << 8) | (TPanelColor(rgb[2]) << 16);
  }
  preset_index_ = MatchPalettePreset();
  apply_enabled_ = false;
}

void TPaletteDialog::SetScreen(const uint8_t* screen) {
  std::copy(screen, screen + kScreenBytes, screen_.begin());
}

void TPaletteDialog::Changed() {
  preset_index_ = MatchPalettePreset();
  apply_enabled_ = true;
}

void TPaletteDialog::SetColor(int index, TPanelColor color) {
  colors_.at(size_t(index)) = color & 0xFFFFFF;
  Changed();
}

void TPaletteDialog::ChoosePreset(int index) {
  if (index < 1 || index >= kPresetItems) return;
  for (size_t i = 0; i < 16; ++i) colors_[i] = PanelFromRgb(PalettePresets[size_t(index - 1)].Rgb[i]);
  Changed();
}

void TPaletteDialog::Darker() {
  for (TPanelColor& c : colors_) c = StepComponents(c, -1);
  Changed();
}

void TPaletteDialog::Brighter() {
  for (TPanelColor& c : colors_) c = StepComponents(c, +1);
  Changed();
}

int MatchPaletteColors(const TPanelColors& colors, std::span<const TPalettePreset> presets) {
  int match = 0;
  for (size_t p = 0; p < presets.size(); ++p) {
    bool same = true;
    for (size_t i = 0; i < 16 && same; ++i) same = colors[i] == PanelFromRgb(presets[p].Rgb[i]);
    if (same) match = int(p) + 1;
  }
  return match;
}

int TPaletteDialog::MatchPalettePreset() const { return MatchPaletteColors(colors_); }

std::vector<uint32_t> TPaletteDialog::DrawPreview() const {
  uint32_t pixel[16];
  for (size_t i = 0; i < 16; ++i) pixel[i] = PanelFromRgb(colors_[i]);  // the swap is its own inverse
  std::vector<uint32_t> out(size_t(kPreviewWidth) * kPreviewHeight);
  for (int y = 0; y < kPreviewHeight; ++y) {
    const uint8_t* bitmap = &screen_[size_t((y % 8) * 256 + ((y / 8) % 8) * 32 + (y / 64) * 2048)];
    const uint8_t* attrs = &screen_[size_t(6144 + (y / 8) * 32)];
    uint32_t* line = &out[size_t(y) * kPreviewWidth];
    for (int column = 0; column < 32; ++column) {
      const uint8_t a = attrs[column];
      const uint32_t ink = pixel[(a & 7) + ((a >> 6) & 1) * 8];
      const uint32_t paper = pixel[(a >> 3) & 15];
      for (int bit = 0; bit < 8; ++bit) line[column * 8 + bit] = (bitmap[column] & (0x80 >> bit)) ? ink : paper;
    }
  }
  return out;
}

void TPaletteDialog::Apply(TZXHardware& machine) {
  machine.WithCpuStopped([&] {
    // The screen timer presents frames on this thread while the processor
    // is stopped; the lock keeps the palette whole for any frame in flight.
    std::lock_guard<std::mutex> busy(machine.DisplayBusy);
    for (size_t i = 0; i < 16; ++i) {
      machine.SpectrumPalette[i * 3] = uint8_t(colors_[i]);
      machine.SpectrumPalette[i * 3 + 1] = uint8_t(colors_[i] >> 8);
      machine.SpectrumPalette[i * 3 + 2] = uint8_t(colors_[i] >> 16);
    }
  });
  apply_enabled_ = false;
  preset_index_ = MatchPalettePreset();
}

std::array<uint8_t, TPaletteDialog::kScreenBytes> CopyScreen(TZXHardware& machine) {
  std::array<uint8_t, TPaletteDialog::kScreenBytes> copy{};
  machine.WithCpuStopped([&] { std::copy(machine.ScreenPage, machine.ScreenPage + copy.size(), copy.begin()); });
  return copy;
}
