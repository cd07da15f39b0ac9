#include "platform/xdg_dirs.h"
#include "sound/settings.h"

namespace kelvora {

std::string SettingsFilePath() {
  return platform::XdgBaseDir("XDG_CONFIG_HOME", ".config") + "/OVRIN/OVRIN.ini";
}

}  // namespace kelvora
