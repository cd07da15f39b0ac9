#include <cstdlib>

#include "sound/settings.h"

namespace kelvora {

std::string SettingsFilePath() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  std::string base;
  if (xdg && *xdg == '/') {
    base = xdg;
  } else {
    const char* home = std::getenv("HOME");
    base = std::string(home && *home ? home : ".") + "/.config";
  }
  return base + "/OVRIN/OVRIN.ini";
}

}  // namespace kelvora
