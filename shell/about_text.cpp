#include "shell/about_text.h"

#include <cstdio>

std::string AboutCopyrights() { return "(c) 2026 The OVRIN authors"; }

std::string AboutEditionLine() { return std::string("Last edition: ") + __DATE__ + "; " + __TIME__; }

std::string ClockMHzText(uint64_t hz, std::string_view decimalSeparator) {
  char buffer[64];
  // printf follows the process locale (Qt sets it from the environment),
  // so its separator may be either; the caller's replaces it.
  std::snprintf(buffer, sizeof buffer, "%.15g", static_cast<double>(hz) * 1e-6);
  std::string text = buffer;
  const size_t point = text.find_first_of(".,");
  if (point != std::string::npos) text.replace(point, 1, decimalSeparator);
  return text;
}

std::string AboutCpuLine(std::string_view cpuName, uint64_t hz, std::string_view decimalSeparator) {
  return "Detected CPU: " + std::string(cpuName) + " at " + ClockMHzText(hz, decimalSeparator) + " MHz";
}
