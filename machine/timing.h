// The ULA timing of the emulated machine: the seven values that place the
// interrupt and the picture inside a frame, the three built-in presets, and
// the rules every timing set must pass before the machine uses it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

// What the user chose (settings, timing dialog); the machine copies a checked
// set into its own state.
struct TTimingValues {
  uint32_t timeLoopTime = 71680;       // frame period in T-states
  uint32_t timeInterruptBegin = 0;     // first T-state of the INT window
  uint32_t timeInterruptEnd = 31;      // last T-state of the INT window (inclusive)
  uint32_t timeLineTime = 224;         // T-states per picture line
  uint32_t timeScreenBeginLines = 80;  // lines from the frame start to the first paper line
  uint32_t timeHorzScreenBegin = 68;   // T-state within the line where the paper begins
  int32_t timeCycleFIX = 0;            // correction added to timeHorzScreenBegin
  uint8_t execAlignM1 = 0;             // round odd frame T-states up after steps outside ROM

  bool operator==(const TTimingValues&) const = default;
};

struct TTimingPresetRecord {
  const char* Name;
  uint32_t LoopTime, InterruptBegin, InterruptEnd, LineTime, ScreenBeginLines, HorzScreenBegin;
  uint8_t AlignM1;
};

// In the order of the timing dialog's list. A preset has no cycle fix.
inline constexpr std::array<TTimingPresetRecord, 3> TimingPreset = {{
    {"Pentagon", 71680, 0, 31, 224, 80, 68, 0},
    {"ZS Scorpion", 69888, 0, 31, 224, 64, 0, 1},
    {"Sinclair Spectrum", 69888, 0, 31, 224, 64, 200, 0},
}};

// The timing values of a preset (0 to 2) with the given cycle fix.
TTimingValues TimingFromPreset(size_t preset, int32_t cycleFix = 0);

// Checks a timing set with the timing dialog's rules, in the dialog's order,
// and returns the message of the first failing rule (nothing when the set is
// valid). The arguments are the values as the dialog reads them: frame
// period, first and last INT tick, line ticks, lines before the paper, paper
// begin in the line, cycle fix. Products are formed in 64 bits, so no input
// can wrap its way past a rule.
std::optional<std::string> CheckTimingValues(int64_t frame, int64_t intBegin, int64_t intEnd,
                                             int64_t line, int64_t linesBefore, int64_t paperBegin,
                                             int64_t cycleFix);

// The same for a stored set; each unsigned value is read as the signed
// 32-bit number the dialog would have stored it from.
std::optional<std::string> CheckTimingValues(const TTimingValues& t);
