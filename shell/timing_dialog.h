// The ULA timing dialog without its widgets: the grid's texts, the Align M1
// box and the preset choice as a working copy of the machine's timing, which
// Apply checks and hands to the machine in one piece.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "machine/hardware.h"

// Reads a grid cell: blanks around it allowed, an optional sign and decimal
// digits, from -2147483648 up to 4294967295. A number above 2147483647 is
// the unsigned reading of a negative value (the grid shows rows 1 to 6
// unsigned) and is taken back as that 32-bit pattern.
std::optional<int32_t> ParseTimingCell(std::string_view text);

// The item of the preset list (0 "<User defined>", p+1 preset p) whose six
// values and Align M1 switch equal these; a later preset wins a tie.
int MatchTimingValues(const std::array<uint32_t, 6>& values, bool alignM1,
                      std::span<const TTimingPresetRecord> presets = TimingPreset);

class TTimingDialog {
 public:
  static constexpr int kRows = 7;  // rows 1 to 7 of the grid, here 0 to 6
  static constexpr std::array<const char*, kRows> kRowCaptions = {
      "Frame period",       "First tick INT",      "Last tick INT", "Line ticks",
      "Lines before PAPER", "Begin PAPER in line", "Cycle FIX"};
  // "<User defined>" then the presets, in the order of TimingPreset.
  static constexpr int kPresetItems = 1 + int(TimingPreset.size());
  static const char* PresetItem(int index);

  // ShowTimingForm's filling: every cell from the values, the box, Apply
  // disabled and the preset recognised.
  void Open(const TTimingValues& live);

  // Any edit of a cell's text, and a click of the box: Apply enabled and
  // the preset recognised again.
  void SetCell(int row, std::string text);
  void SetAlignM1(bool on);
  // Item 0 does nothing; item k writes preset k-1 into rows 0 to 5 and the
  // box (the cycle fix stays) and enables Apply.
  void ChoosePreset(int index);

  // Reads the seven cells and the box into a timing set, or the message for
  // the first unreadable cell.
  std::optional<TTimingValues> Values(std::string* error) const;

  // Apply: converts the cells, checks them with the timing rules in their
  // order and stores a valid set in the machine with the processor stopped.
  // The first failure is shown in a message box and nothing is stored.
  // Returns true when stored.
  bool Apply(TZXHardware& machine);

  // MatchTimingPreset: the item that the cells and the box describe (0 when
  // none; a later preset wins where several match).
  int MatchTimingPreset() const;

  const std::string& Cell(int row) const { return cells_.at(size_t(row)); }
  bool AlignM1() const { return align_m1_; }
  int PresetIndex() const { return preset_index_; }
  bool ApplyEnabled() const { return apply_enabled_; }

 private:
  void Changed();

  std::array<std::string, kRows> cells_;
  bool align_m1_ = false;
  int preset_index_ = 0;
  bool apply_enabled_ = false;
};
