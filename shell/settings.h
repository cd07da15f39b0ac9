// The program's settings and the CMOS file. The settings are named values
// in a store (an INI file in the program): the switches and ROM files at the
// top level, the timing values in the group "Timing". They are read once at
// start-up and written only by the Save params command; the CMOS file is read
// at start-up and written at exit.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "machine/hardware.h"
#include "platform/dialogs.h"
#include "platform/settings.h"

inline constexpr const char* TimingKeyName = "Timing";
inline constexpr const char* kApplicationTitle = "OVRIN";
inline constexpr const char* kCmosFileName = "cmos";

// What the shell keeps of the settings beyond the machine's own fields: the
// marks of menu items that have no field behind them.
struct TShellSwitches {
  bool FullScreenStart = false;
};

// The timing values in the store, each missing or unreadable one taking the
// first preset's value (cycle fix 0, Align M1 off). A set that the timing
// dialog would refuse is replaced by the defaults as a whole.
TTimingValues ReadTimingSettings(platform::SettingsStore& store);

// The first-run check: when the store has no "Installed" value, offers the
// file associations (showAssociations, when given), writes the value and
// shows the welcome message. Returns true on a first run.
bool CheckFirstRun(platform::SettingsStore& store, const std::function<void()>& showAssociations = {});

// Reads the top-level values and applies each to the machine in turn, the
// ROM file specifications and, when present, the palette.
void ReadKeySettings(platform::SettingsStore& store, TZXHardware& machine, TShellSwitches& switches);

// Save params: writes every value from the machine and the switches, then
// the Timing group. Reports a store that cannot be written and returns false.
bool SaveSettings(platform::SettingsStore& store, TZXHardware& machine, const TShellSwitches& switches);

// Path of the CMOS file: the program directory + "cmos".
std::string CmosFilePath();
// Reads up to 256 bytes of the CMOS file into the store; a shorter file fills
// only its first bytes, a missing one changes nothing. Never reports.
void ReadCmosFile(std::array<uint8_t, 256>& cmos);
// Writes the 256 bytes; on failure the old file stays and the user is told
// "CMOS file write failed!" (on stderr, naming the file, when asked to).
// Returns false on failure.
bool WriteCmosFile(const std::array<uint8_t, 256>& cmos,
                   platform::FailureReport report = platform::FailureReport::Box);
