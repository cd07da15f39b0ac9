// The XDG base directories. Header-only, so that the sound plug-in, a
// library of its own, reads them by the same rule as the program.
#pragma once

#include <cstdlib>
#include <string>

namespace platform {

// $variable when it holds an absolute path, else $HOME/fallback: a relative
// value is invalid and is ignored like an unset one, so that every reader
// (the settings, the sound plug-in, the file associations) lands on the
// same folder whatever the current folder is.
inline std::string XdgBaseDir(const char* variable, const char* fallback) {
  const char* value = std::getenv(variable);
  if (value && value[0] == '/') return value;
  const char* home = std::getenv("HOME");
  return std::string(home ? home : "") + "/" + fallback;
}

}  // namespace platform
