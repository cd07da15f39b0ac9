// The plug-in's own settings (volume, stereo mode), kept in the program's
// settings file under [Kelvora], and its small settings dialog.
#pragma once

#include <string>

#include "sound/engine.h"

namespace kelvora {

// $XDG_CONFIG_HOME/OVRIN/OVRIN.ini, or ~/.config/OVRIN/OVRIN.ini.
std::string SettingsFilePath();

// Without Qt these give the defaults and change nothing.
KelvoraSettings LoadSettings();
bool SaveSettings(const KelvoraSettings& settings);
// Modal; false when cancelled or when the host has no QApplication.
bool EditSettings(KelvoraSettings& settings);

}  // namespace kelvora
