// The memory and ROM set dialog without its widgets: the model choice and a
// working copy of the four ROM file specifications, edited by ROM sets,
// browsing and page stepping, and handed to the machine together on Apply.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "machine/hardware.h"

inline constexpr std::array<const char*, 8> kMemoryModelItems = {
    "Pentagon 128K", "Pentagon 512K",     "Pentagon 1024K",          "Profi 1024K",
    "ZS Scorpion 256K", "ZS Scorpion 1024K", "ATM 512K (ext mem only)", "Sinclair Spectrum 48K"};

struct TRomSetItem {
  const char* Item;
  const char* File;  // null for "<Custom>"
};
inline constexpr std::array<TRomSetItem, 4> kRomSetItems = {{
    {"<Custom>", nullptr},
    {"Pentagon", "pentagon.rom"},
    {"Profi", "profi.rom"},
    {"Scorpion", "scorpion.rom"},
}};

inline constexpr const char* kRomCommaMessage =
    "The ROM file name must not contain a comma (it separates the page number):\n";

// A ROM file specification split at its first comma: the name before it and
// the page after it read as the C library's atoi would (0 when no number).
struct TRomSpecParts {
  std::string Name;
  int32_t Page = 0;
};
TRomSpecParts SplitRomSpec(std::string_view spec);

// Whole 16 KB pages of a file; empty when it cannot be opened.
std::optional<uint64_t> RomFilePages(const std::string& path);

class TMemorySetDialog {
 public:
  // FormShow: the machine's model (Pentagon 128K when out of range), the
  // first slot, "<Custom>", the live specifications, Apply disabled.
  void Open(const TZXHardware& machine);

  void ChooseModel(int model);
  void ChooseSlot(int slot);
  // Item k >= 1 gives the four slots pages 0 to 3 of the set's file.
  void ChooseRomSet(int index);
  // "+" (+1) and "--" (-1) on the selected slot's specification.
  void AdjustRomPage(int delta);
  // The name the open-file dialog starts with.
  std::string BrowseStartName() const { return SplitRomSpec(Spec()).Name; }
  // A file chosen in the open-file dialog. It keeps the slot's page when the
  // file has that page, else page 0. A path with a comma is refused with a
  // message, as is a file that cannot be opened (silently); false then and
  // nothing changes.
  bool Browse(const std::string& path);

  // Apply: with the processor stopped, the model, the four specifications
  // and a ROM reload; then the model shown again as the machine has it.
  void Apply(TZXHardware& machine);
  // Reload ROM's: from the machine's live specifications, not this copy.
  static void Reload(TZXHardware& machine) { machine.ReloadRoms(); }

  int Model() const { return model_; }
  int Slot() const { return slot_; }
  int RomSet() const { return rom_set_; }
  const std::string& Spec() const { return specs_[size_t(slot_)]; }
  const std::array<std::string, 4>& EditedRomSpecs() const { return specs_; }
  bool ApplyEnabled() const { return apply_enabled_; }

 private:
  int model_ = 0;
  int slot_ = 0;
  int rom_set_ = 0;
  std::array<std::string, 4> specs_;
  bool apply_enabled_ = false;
};
