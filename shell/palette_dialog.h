// The palette dialog without its widgets: sixteen colours as a working copy
// of the machine's Spectrum palette, the twelve built-in palettes, the
// brightness steps and the preview picture.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "machine/hardware.h"

// A colour as the dialog's panels hold it: R + 256 G + 65536 B.
using TPanelColor = uint32_t;
using TPanelColors = std::array<TPanelColor, 16>;

struct TPalettePreset {
  const char* Name;
  std::array<uint32_t, 16> Rgb;  // #RRGGBB, colours 0 to 15
};
extern const std::array<TPalettePreset, 12> PalettePresets;

// The item of the preset list (0 "<User defined>", p+1 preset p) showing
// these colours; a later preset wins a tie.
int MatchPaletteColors(const TPanelColors& colors, std::span<const TPalettePreset> presets = PalettePresets);

class TPaletteDialog {
 public:
  static constexpr int kScreenBytes = 6912;
  static constexpr int kPreviewWidth = 256, kPreviewHeight = 192;
  // "<User defined>" then the preset names.
  static constexpr int kPresetItems = 1 + int(PalettePresets.size());
  static const char* PresetItem(int index);

  // ShowPaletteForm: the panels from the machine's palette, the preset
  // recognised, Apply disabled. The screen is what the preview draws.
  void Open(const TZXHardware& machine);
  // The screen the preview draws (6912 bytes of bitmap and attributes),
  // taken by the caller while the picture is not being written.
  void SetScreen(const uint8_t* screen);

  // A colour chosen for panel i (Apply enabled even when it is the same).
  void SetColor(int index, TPanelColor color);
  // Item k >= 1: the panels take preset k-1.
  void ChoosePreset(int index);
  // "--" and "+": every component one step towards 0 or 255.
  void Darker();
  void Brighter();

  // Apply: the panels become the machine's palette, with the processor
  // stopped and no frame being presented.
  void Apply(TZXHardware& machine);

  // MatchPalettePreset: the item the panels show (a later preset wins).
  int MatchPalettePreset() const;
  // DrawPreview: 256 x 192 pixels, 0x00RRGGBB, from the screen and the
  // panel colours; flash ignored.
  std::vector<uint32_t> DrawPreview() const;

  const TPanelColors& Colors() const { return colors_; }
  int PresetIndex() const { return preset_index_; }
  bool ApplyEnabled() const { return apply_enabled_; }

 private:
  void Changed();

  TPanelColors colors_{};
  std::array<uint8_t, kScreenBytes> screen_{};
  int preset_index_ = 0;
  bool apply_enabled_ = false;
};

// The screen page's bitmap and attributes, read with the processor stopped.
std::array<uint8_t, TPaletteDialog::kScreenBytes> CopyScreen(TZXHardware& machine);
